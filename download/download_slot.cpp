#include "download/download_slot.h"

#include <chrono>
#include <thread>

#include "core/state.h"
#include "platform/clock.h"

namespace download {
namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(50);

}  // namespace

bool ClaimDownloadSlot() {
    bool idle = false;
    return core::DownloadThreadRunning.compare_exchange_strong(idle, true);
}

bool AwaitDownloadSlot(int64_t waitMs) { return WaitUntil(ClaimDownloadSlot, waitMs); }

void ReleaseDownloadSlot() { core::DownloadThreadRunning = false; }

bool WaitUntil(const std::function<bool()>& ready, int64_t limitMs) {
    platform::Clock& clock = platform::SystemClock();
    uint64_t start = clock.TickMs();
    while (!ready()) {
        if (int64_t(clock.TickMs() - start) >= limitMs) return false;
        std::this_thread::sleep_for(kPollInterval);
    }
    return true;
}

}  // namespace download
