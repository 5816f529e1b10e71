#include "imaging/transfer_progress.h"

#include <cmath>

#include "core/progress.h"
#include "disk/format_size.h"
#include "disk/raw_access.h"

namespace imaging {
namespace {

std::string SizesAndRate(int64_t done, int64_t total, const TransferCounts& counts) {
    return disk::FormatSize(done, 0) + "/" + disk::FormatSize(total, 0) + " " +
           disk::FormatSize(TransferRate(counts), 1) + "/s ";
}

// Whole seconds at the pace so far; 0 while there is no pace to go by.
int64_t RemainingSeconds(int64_t done, int64_t total, const TransferCounts& counts) {
    int64_t pace = counts.elapsed > 0 ? disk::MulDiv64(done, counts.frequency, counts.elapsed) : 0;
    return pace > 0 ? (total - done) / pace : 0;
}

}  // namespace

int64_t TransferRate(const TransferCounts& counts) {
    if (counts.elapsed <= 0) return 0;
    return disk::MulDiv64(counts.bytesRead + counts.bytesWritten, counts.frequency, counts.elapsed);
}

int32_t ProgressPercent(int64_t done, int64_t total) {
    return total > 0 ? int32_t(std::lround(double(done) * 1.0 / double(total) * 100)) : 0;
}

std::string ProgressText(int64_t done, int64_t total, const TransferCounts& counts) {
    return std::to_string(ProgressPercent(done, total)) + "% " + SizesAndRate(done, total, counts) +
           " Remain: " + core::FormatDuration(RemainingSeconds(done, total, counts));
}

std::string FinishedText(int64_t done, int64_t total, const TransferCounts& counts) {
    int64_t seconds = counts.frequency > 0 ? counts.elapsed / counts.frequency : 0;
    return SizesAndRate(done, total, counts) + " Total: " + core::FormatDuration(seconds) + " Done";
}

}  // namespace imaging
