// The copy loop of backup and restore: 16 MiB chunks from one side to the other, the
// next chunk read while the current one is written, a cancel check after every chunk and
// a progress view at most every 200 ms of counter time.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <optional>

#include "imaging/transfer_progress.h"

namespace imaging {

constexpr int64_t kChunkBytes = 16 * 1024 * 1024;

// The two buffers of a copy: one is written while the other is being filled. Aligned
// for transfers that pass the system's cache.
class ChunkBuffers {
public:
    static constexpr size_t kAlignment = 4096;
    // Nothing when the memory cannot be had.
    static std::optional<ChunkBuffers> Allocate(int64_t chunkBytes = kChunkBytes);
    int64_t ChunkSize() const { return chunkBytes_; }
    uint8_t* Buffer(int64_t index) const { return buffers_[index % 2].get(); }

private:
    struct AlignedDelete {
        void operator()(uint8_t* bytes) const {
            ::operator delete[](bytes, std::align_val_t(kAlignment));
        }
    };
    int64_t chunkBytes_ = 0;
    std::unique_ptr<uint8_t[], AlignedDelete> buffers_[2];
};

// Move `bytes` at the device byte position (the image file side keeps its own position);
// false on failure, with the system's error code left for platform::LastSystemError
// (platform/error_text.h).
using ReadChunk = std::function<bool(int64_t position, uint8_t* data, int64_t bytes)>;
using WriteChunk = std::function<bool(int64_t position, const uint8_t* data, int64_t bytes)>;

// The high-resolution counter the loop times itself by.
struct CopyClock {
    std::function<int64_t()> now;
    int64_t frequency = 1;
};
CopyClock HighResClock();

enum class CopyEnd { Completed, Cancelled, ReadFailed, WriteFailed };

struct CopyResult {
    CopyEnd end = CopyEnd::Completed;
    uint32_t error = 0;  // the system's code of the failed read or write
    TransferCounts counts;
    int64_t started = 0;  // counter value at the start
};

struct CopyJob {
    int64_t begin = 0, end = 0;  // device byte positions
    ReadChunk read;
    WriteChunk write;
    std::function<void(const TransferCounts&)> showProgress;
    const std::atomic<int32_t>* cancel = nullptr;
};

// The first byte, counted from the start of the range, where the two sides differ.
struct Comparison {
    bool readable = true;  // false: a read failed, with the system's code in error
    uint32_t error = 0;
    std::optional<int64_t> firstDifference;
};
// Reads both sides chunk by chunk; stops at the first difference.
Comparison CompareChunks(int64_t begin, int64_t end, const ReadChunk& device,
                         const ReadChunk& image, ChunkBuffers& buffers);

// Whole chunks only: a cancel or a failure leaves every chunk before it written and none
// after it; a chunk read ahead is dropped.
CopyResult CopyChunks(const CopyJob& job, ChunkBuffers& buffers, const CopyClock& clock);

}  // namespace imaging
