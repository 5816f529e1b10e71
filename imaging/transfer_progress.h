// The status line of a partition copy: percent, sizes, rate and the time left or taken.
#pragma once

#include <cstdint>
#include <string>

namespace imaging {

// Where a copy stands; times in counter ticks.
struct TransferCounts {
    int64_t bytesRead = 0;
    int64_t bytesWritten = 0;
    int64_t elapsed = 0;
    int64_t frequency = 1;  // ticks per second
};

// Reading and writing traffic together, per second; 0 before any time passed.
int64_t TransferRate(const TransferCounts& counts);
int32_t ProgressPercent(int64_t done, int64_t total);
// "42% 1.2 MB/3 MB 6.4 MB/s  Remain: 04 s "
std::string ProgressText(int64_t done, int64_t total, const TransferCounts& counts);
// "3 MB/3 MB 6.4 MB/s  Total: 01 s  Done"
std::string FinishedText(int64_t done, int64_t total, const TransferCounts& counts);

}  // namespace imaging
