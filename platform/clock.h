// Time: monotonic ticks, the wall clock and every prescribed wait. Tests replace the
// clock so that waits take no time.
#pragma once

#include <cstdint>
#include <memory>

namespace platform {

class Clock {
public:
    virtual ~Clock() = default;
    virtual uint64_t TickMs() = 0;         // monotonic milliseconds
    virtual int64_t NowUnixSeconds() = 0;  // wall clock, UTC seconds since 1970
    virtual void SleepMs(int64_t ms) = 0;
};

// The high-resolution counter for transfer rates: ticks, and ticks per second.
int64_t QueryCounter();
int64_t QueryCounterFrequency();

// Seconds the local time is ahead of UTC at that moment (negative west of Greenwich).
int64_t LocalTimeOffsetSeconds(int64_t unixSeconds);

// The process clock; the real one unless a test installed another.
Clock& SystemClock();
void SetClock(std::unique_ptr<Clock> clock);  // nullptr restores the real clock

}  // namespace platform
