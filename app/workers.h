// Worker threads: every long operation is a procedure started with one integer argument.
#pragma once

#include <cstdint>
#include <functional>

namespace app {

using WorkerProc = void (*)(int32_t);

// Starts proc(argument) on a new detached thread; it ends with the process at the latest.
void StartWorker(WorkerProc proc, int32_t argument);

// Tests replace how workers start; an empty launcher restores threads.
using WorkerLauncher = std::function<void(WorkerProc, int32_t)>;
void SetWorkerLauncher(WorkerLauncher launcher);

// Starts the latest-revision check unless a download thread is running.
void StartLatestRevisionCheck(int32_t argument);

}  // namespace app
