#include "platform/clock.h"

#include <windows.h>

#include <algorithm>

namespace platform {
namespace {

// FILETIME counts 100 ns steps from 1601; this many seconds lie between then and 1970.
constexpr int64_t kUnixEpochInFileTimeSeconds = 11644473600;

class PerformanceClock : public Clock {
public:
    PerformanceClock() {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        frequency_ = uint64_t(frequency.QuadPart);
    }

    // Split so that the multiplication cannot overflow however long the machine is up.
    uint64_t TickMs() override {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        uint64_t count = uint64_t(now.QuadPart);
        return count / frequency_ * 1000 + count % frequency_ * 1000 / frequency_;
    }

    int64_t NowUnixSeconds() override {
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        uint64_t ticks = uint64_t(now.dwHighDateTime) << 32 | now.dwLowDateTime;
        return int64_t(ticks / 10000000) - kUnixEpochInFileTimeSeconds;
    }

    // INFINITE would never return.
    void SleepMs(int64_t ms) override {
        if (ms > 0) Sleep(DWORD(std::min<int64_t>(ms, INFINITE - 1)));
    }

private:
    uint64_t frequency_ = 1;
};

std::unique_ptr<Clock>& Installed() {
    static std::unique_ptr<Clock> clock = std::make_unique<PerformanceClock>();
    return clock;
}

}  // namespace

int64_t QueryCounter() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

int64_t QueryCounterFrequency() {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
}

// The time zone's rule for that date, daylight saving included.
int64_t LocalTimeOffsetSeconds(int64_t unixSeconds) {
    uint64_t ticks = uint64_t(unixSeconds + kUnixEpochInFileTimeSeconds) * 10000000;
    FILETIME utcFile{DWORD(ticks), DWORD(ticks >> 32)};
    SYSTEMTIME utc, local;
    FILETIME localFile;
    if (!FileTimeToSystemTime(&utcFile, &utc) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local) ||
        !SystemTimeToFileTime(&local, &localFile))
        return 0;
    uint64_t localTicks = uint64_t(localFile.dwHighDateTime) << 32 | localFile.dwLowDateTime;
    return (int64_t(localTicks) - int64_t(ticks)) / 10000000;
}

Clock& SystemClock() { return *Installed(); }

void SetClock(std::unique_ptr<Clock> clock) {
    Installed() = clock ? std::move(clock) : std::make_unique<PerformanceClock>();
}

}  // namespace platform
