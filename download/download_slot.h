// The one download thread the program runs at a time (DownloadThreadRunning): the
// latest-revision check, the Clover download and the Recovery HD download take turns.
#pragma once

#include <cstdint>
#include <functional>

namespace download {

// How long a worker waits for a download thread, in milliseconds.
inline constexpr int64_t kDownloadWaitMs = 300000;

// Takes the slot when it is free; false when another download holds it.
bool ClaimDownloadSlot();

// Takes the slot, waiting for a running download to end, at most waitMs by the clock.
bool AwaitDownloadSlot(int64_t waitMs);

void ReleaseDownloadSlot();

// The slot claimed for one owner's whole run when it is free, released with the owner.
class HeldDownloadSlot {
public:
    HeldDownloadSlot() : held_(ClaimDownloadSlot()) {}
    ~HeldDownloadSlot() {
        if (held_) ReleaseDownloadSlot();
    }
    HeldDownloadSlot(const HeldDownloadSlot&) = delete;
    HeldDownloadSlot& operator=(const HeldDownloadSlot&) = delete;

    // False when another download holds the slot; nothing may be started then.
    bool Held() const { return held_; }

private:
    bool held_;
};

// Waits until ready() holds, at most limitMs by the clock; false when the time ran out.
// Polls in real time, so a clock that only moves with its own waits never cuts it short.
bool WaitUntil(const std::function<bool()>& ready, int64_t limitMs);

}  // namespace download
