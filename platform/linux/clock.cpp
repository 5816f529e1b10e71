#include "platform/clock.h"

#include <time.h>

#include <thread>

namespace platform {
namespace {

class MonotonicClock : public Clock {
public:
    uint64_t TickMs() override {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return uint64_t(ts.tv_sec) * 1000 + uint64_t(ts.tv_nsec) / 1000000;
    }
    int64_t NowUnixSeconds() override { return int64_t(time(nullptr)); }
    void SleepMs(int64_t ms) override {
        if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
};

std::unique_ptr<Clock>& Installed() {
    static std::unique_ptr<Clock> clock = std::make_unique<MonotonicClock>();
    return clock;
}

}  // namespace

int64_t QueryCounter() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

int64_t QueryCounterFrequency() { return 1000000000; }

int64_t LocalTimeOffsetSeconds(int64_t unixSeconds) {
    time_t moment = time_t(unixSeconds);
    tm local{};
    if (!localtime_r(&moment, &local)) return 0;
    return local.tm_gmtoff;
}

Clock& SystemClock() { return *Installed(); }

void SetClock(std::unique_ptr<Clock> clock) {
    Installed() = clock ? std::move(clock) : std::make_unique<MonotonicClock>();
}

}  // namespace platform
