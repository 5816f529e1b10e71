// Worker threads: every long operation is a procedure started with one integer argument.
#pragma once

#include <cstdint>
#include <functional>

#include "core/outcome.h"

namespace app {

using WorkerProc = void (*)(int32_t);

// Starts proc(argument) on a new detached thread; it ends with the process at the latest.
void StartWorker(WorkerProc proc, int32_t argument);

// Workers started on threads and not yet ended.
int32_t LiveWorkers();

// Claims BusyFlag, then starts proc; false when another operation holds the flag. The
// worker releases it in its closing steps.
bool StartClaimedWorker(WorkerProc proc, int32_t argument);

// A workflow that reports how it ended.
using Workflow = core::Outcome (*)(int32_t);

// The outcome of the last workflow run by RunWorkflow; Refused while none has run.
core::Outcome LastOutcome();
void RecordOutcome(core::Outcome outcome);

// The worker procedure of a workflow: runs it and keeps its outcome.
template <Workflow W>
void RunWorkflow(int32_t argument) {
    RecordOutcome(W(argument));
}

// Tests replace how workers start; an empty launcher restores threads.
using WorkerLauncher = std::function<void(WorkerProc, int32_t)>;
void SetWorkerLauncher(WorkerLauncher launcher);

// Starts the latest-revision check unless a download thread is running.
void StartLatestRevisionCheck(int32_t argument);

}  // namespace app
