#include "app/workers.h"

#include <atomic>

#include "core/state.h"
#include "download/download_slot.h"
#include "download/latest_revision.h"
#include "platform/threads.h"

namespace app {
namespace {

std::atomic<core::Outcome> lastOutcome{core::Outcome::Refused};
std::atomic<int32_t> liveWorkers{0};

WorkerLauncher& Launcher() {
    static WorkerLauncher launcher;
    return launcher;
}

void RunRevisionCheck(int32_t argument) { download::CheckLatestRevision(argument); }

}  // namespace

void StartWorker(WorkerProc proc, int32_t argument) {
    if (Launcher()) {
        Launcher()(proc, argument);
        return;
    }
    ++liveWorkers;
    platform::StartThread([proc, argument] {
        proc(argument);
        --liveWorkers;
    }).detach();
}

bool StartClaimedWorker(WorkerProc proc, int32_t argument) {
    int32_t idle = 0;
    if (!core::BusyFlag.compare_exchange_strong(idle, 1)) return false;
    StartWorker(proc, argument);
    return true;
}

core::Outcome LastOutcome() { return lastOutcome; }
void RecordOutcome(core::Outcome outcome) { lastOutcome = outcome; }
int32_t LiveWorkers() { return liveWorkers; }

void SetWorkerLauncher(WorkerLauncher launcher) { Launcher() = std::move(launcher); }

void StartLatestRevisionCheck(int32_t argument) {
    if (!download::ClaimDownloadSlot()) return;
    StartWorker(RunRevisionCheck, argument);
}

}  // namespace app
