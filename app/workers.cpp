#include "app/workers.h"

#include <thread>

#include "core/state.h"
#include "download/latest_revision.h"

namespace app {
namespace {

WorkerLauncher& Launcher() {
    static WorkerLauncher launcher;
    return launcher;
}

void RunRevisionCheck(int32_t argument) {
    download::CheckLatestRevision(argument);
    core::DownloadThreadRunning = false;
}

}  // namespace

void StartWorker(WorkerProc proc, int32_t argument) {
    if (Launcher()) {
        Launcher()(proc, argument);
        return;
    }
    std::thread(proc, argument).detach();
}

void SetWorkerLauncher(WorkerLauncher launcher) { Launcher() = std::move(launcher); }

void StartLatestRevisionCheck(int32_t argument) {
    bool idle = false;
    if (!core::DownloadThreadRunning.compare_exchange_strong(idle, true)) return;
    StartWorker(RunRevisionCheck, argument);
}

}  // namespace app
