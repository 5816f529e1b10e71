// A clock whose waits return at once but still move time on, so that code which sleeps
// between attempts runs at full speed in tests and fuzz targets.
#pragma once

#include <cstdint>

#include "platform/clock.h"

namespace test {

class InstantClock : public platform::Clock {
public:
    uint64_t TickMs() override { return now_; }
    int64_t NowUnixSeconds() override { return 1700000000 + int64_t(now_ / 1000); }
    void SleepMs(int64_t ms) override { now_ += uint64_t(ms > 0 ? ms : 0); }

private:
    uint64_t now_ = 1000;
};

}  // namespace test
