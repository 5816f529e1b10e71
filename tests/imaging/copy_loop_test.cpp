// The copy loop and its status texts on memory sides and a fake counter: exact texts,
// the 200 ms display rule, whole chunks on cancel and failure, the read-back comparison.

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <vector>

#include "imaging/chunk_copy.h"
#include "imaging/transfer_progress.h"

namespace {

using imaging::ChunkBuffers;
using imaging::CopyEnd;
using imaging::CopyJob;
using imaging::TransferCounts;

constexpr int64_t kMiB = 1 << 20;

TEST(TransferTextTest, ProgressAndFinalLinesAsShown) {
    // 8 of 32 MiB in 2 s (1000 ticks a second), as much read as written.
    TransferCounts counts{8 * kMiB, 8 * kMiB, 2000, 1000};
    EXPECT_EQ(imaging::ProgressText(8 * kMiB, 32 * kMiB, counts),
              "25% 8 MB/32 MB 8.0 MB/s  Remain: 06 s ");
    TransferCounts finished{32 * kMiB, 32 * kMiB, 8500, 1000};
    EXPECT_EQ(imaging::FinishedText(32 * kMiB, 32 * kMiB, finished),
              "32 MB/32 MB 7.5 MB/s  Total: 08 s  Done");
    // The rate counts both directions; the time left goes by the done side only.
    TransferCounts readAhead{3 * kMiB, 1 * kMiB, 1000, 1000};
    EXPECT_EQ(imaging::TransferRate(readAhead), 4 * kMiB);
    EXPECT_EQ(imaging::ProgressText(1 * kMiB, 3726 * kMiB + 1 * kMiB, readAhead),
              "0% 1 MB/3.6 GB 4.0 MB/s  Remain: 01 h 02 m 06 s ");
}

TEST(TransferTextTest, PercentRoundsAndNoTimeMeansNoRate) {
    EXPECT_EQ(imaging::ProgressPercent(1, 3), 33);
    EXPECT_EQ(imaging::ProgressPercent(2, 3), 67);
    EXPECT_EQ(imaging::ProgressPercent(5, 5), 100);
    TransferCounts instant{kMiB, kMiB, 0, 1000};
    EXPECT_EQ(imaging::ProgressText(kMiB, 2 * kMiB, instant), "50% 1 MB/2 MB 0 B/s  Remain: 00 s ");
}

// A copy between two memory blocks; each write takes `writeTicks` of the fake counter.
struct MemoryCopy {
    std::vector<uint8_t> source, target;
    std::vector<int64_t> writes;  // sizes, in order
    std::vector<std::string> shown;
    std::atomic<int64_t> now{0};
    int64_t writeTicks = 150;
    std::atomic<int32_t> cancel{0};
    int cancelAfterWrite = -1;
    int failReadAt = -1, failWriteAt = -1;  // chunk numbers

    explicit MemoryCopy(size_t bytes) : source(bytes), target(bytes, 0xEE) {
        for (size_t i = 0; i < bytes; ++i) source[i] = uint8_t(i * 131 + i / 4096);
    }

    imaging::CopyResult Run(int64_t chunk) {
        auto buffers = ChunkBuffers::Allocate(chunk);
        EXPECT_TRUE(buffers);
        int reads = 0;
        CopyJob job;
        job.begin = 0;
        job.end = int64_t(source.size());
        job.read = [&](int64_t at, uint8_t* data, int64_t bytes) {
            if (reads++ == failReadAt) return errno = EIO, false;
            std::memcpy(data, source.data() + at, size_t(bytes));
            return true;
        };
        job.write = [&](int64_t at, const uint8_t* data, int64_t bytes) {
            if (int(writes.size()) == failWriteAt) return errno = ENOSPC, false;
            std::memcpy(target.data() + at, data, size_t(bytes));
            if (int(writes.size()) == cancelAfterWrite) cancel = 1;
            writes.push_back(bytes);
            now += writeTicks;
            return true;
        };
        job.showProgress = [&](const TransferCounts& counts) {
            shown.push_back(imaging::ProgressText(counts.bytesWritten, job.end, counts));
        };
        job.cancel = &cancel;
        return imaging::CopyChunks(job, *buffers, {[&] { return now.load(); }, 1000});
    }
    bool SamePrefix(size_t bytes) const {
        return std::equal(source.begin(), source.begin() + long(bytes), target.begin());
    }
    bool UntouchedFrom(size_t bytes) const {
        return std::all_of(target.begin() + long(bytes), target.end(),
                           [](uint8_t b) { return b == 0xEE; });
    }
};

TEST(CopyChunksTest, CopiesEverythingWithTheRemainderLast) {
    MemoryCopy copy(10 * 4096 + 1000);
    imaging::CopyResult result = copy.Run(4096);
    EXPECT_EQ(result.end, CopyEnd::Completed);
    EXPECT_EQ(copy.source, copy.target);
    ASSERT_EQ(copy.writes.size(), 11u);
    EXPECT_EQ(copy.writes.back(), 1000);
    EXPECT_EQ(result.counts.bytesRead, int64_t(copy.source.size()));
    EXPECT_EQ(result.counts.bytesWritten, int64_t(copy.source.size()));
    EXPECT_EQ(result.counts.elapsed, 11 * 150);
}

TEST(CopyChunksTest, ShowsProgressAtMostEvery200Ticks) {
    // Passes start at 0, 150, 300, ...: the first is shown, then each one that starts more
    // than 200 ms after the last one shown.
    MemoryCopy copy(6 * kMiB);
    copy.Run(kMiB);
    std::vector<std::string> expected = {
        "17% 1 MB/6 MB 13.3 MB/s  Remain: 00 s ",  // pass 0, started at 0
        "50% 3 MB/6 MB 13.3 MB/s  Remain: 00 s ",  // pass 2, started at 300
        "83% 5 MB/6 MB 13.3 MB/s  Remain: 00 s ",  // pass 4, started at 600
    };
    EXPECT_EQ(copy.shown, expected);
}

TEST(CopyChunksTest, CancelKeepsTheWholeChunksWritten) {
    MemoryCopy copy(8 * 4096);
    copy.cancelAfterWrite = 2;
    imaging::CopyResult result = copy.Run(4096);
    EXPECT_EQ(result.end, CopyEnd::Cancelled);
    EXPECT_EQ(copy.writes.size(), 3u);
    EXPECT_EQ(result.counts.bytesRead, 3 * 4096);  // the chunk read ahead is dropped
    EXPECT_TRUE(copy.SamePrefix(3 * 4096));
    EXPECT_TRUE(copy.UntouchedFrom(3 * 4096));
}

TEST(CopyChunksTest, FailuresStopAfterTheLastGoodChunkWithTheSystemCode) {
    MemoryCopy reading(8 * 4096);
    reading.failReadAt = 3;
    imaging::CopyResult read = reading.Run(4096);
    EXPECT_EQ(read.end, CopyEnd::ReadFailed);
    EXPECT_EQ(read.error, uint32_t(EIO));
    EXPECT_EQ(reading.writes.size(), 3u);
    EXPECT_TRUE(reading.UntouchedFrom(3 * 4096));

    MemoryCopy writing(8 * 4096);
    writing.failWriteAt = 5;
    imaging::CopyResult written = writing.Run(4096);
    EXPECT_EQ(written.end, CopyEnd::WriteFailed);
    EXPECT_EQ(written.error, uint32_t(ENOSPC));
    EXPECT_EQ(written.counts.bytesWritten, 5 * 4096);
    EXPECT_TRUE(writing.SamePrefix(5 * 4096));
    EXPECT_TRUE(writing.UntouchedFrom(5 * 4096));
}

TEST(CompareChunksTest, NamesTheFirstDifferingByteFromTheStartOfTheRange) {
    std::vector<uint8_t> device(3 * 4096 + 512, 7), image(3 * 4096, 7);
    image[2 * 4096 + 17] = 8;
    image[2 * 4096 + 99] = 9;
    auto buffers = ChunkBuffers::Allocate(4096);
    ASSERT_TRUE(buffers);
    auto fromDevice = [&](int64_t at, uint8_t* data, int64_t bytes) {
        std::memcpy(data, device.data() + at, size_t(bytes));
        return true;
    };
    int64_t imageAt = 0;
    auto fromImage = [&](int64_t, uint8_t* data, int64_t bytes) {
        std::memcpy(data, image.data() + imageAt, size_t(bytes));
        imageAt += bytes;
        return true;
    };
    imaging::Comparison differs =
        imaging::CompareChunks(512, 512 + 3 * 4096, fromDevice, fromImage, *buffers);
    ASSERT_TRUE(differs.firstDifference);
    EXPECT_EQ(*differs.firstDifference, 2 * 4096 + 17);

    image[2 * 4096 + 17] = image[2 * 4096 + 99] = 7;
    imageAt = 0;
    imaging::Comparison same =
        imaging::CompareChunks(512, 512 + 3 * 4096, fromDevice, fromImage, *buffers);
    EXPECT_TRUE(same.readable);
    EXPECT_FALSE(same.firstDifference);

    auto failing = [](int64_t, uint8_t*, int64_t) { return errno = EIO, false; };
    imaging::Comparison unreadable = imaging::CompareChunks(0, 4096, fromDevice, failing, *buffers);
    EXPECT_FALSE(unreadable.readable);
    EXPECT_EQ(unreadable.error, uint32_t(EIO));
}

}  // namespace
