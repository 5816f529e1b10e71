#include "imaging/chunk_copy.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>

#include "disk/raw_access.h"
#include "platform/error_text.h"
#include "platform/threads.h"

namespace imaging {
namespace {

constexpr int64_t kUpdateIntervalMs = 200;

// Reads the chunks in order on a thread of its own, at most one ahead of the writer.
class ReadAhead {
public:
    struct Slot {
        bool ready = false;
        bool ok = false;
        uint32_t error = 0;
        int64_t bytes = 0;
    };

    ReadAhead(const CopyJob& job, ChunkBuffers& buffers) : job_(job), buffers_(buffers) {
        thread_ = platform::StartThread([this] { Run(); });
    }
    ~ReadAhead() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

    // Waits until chunk `index` is read.
    Slot Take(int64_t index) {
        std::unique_lock lock(mutex_);
        Slot& slot = slots_[index % 2];
        changed_.wait(lock, [&] { return slot.ready; });
        return slot;
    }
    // Chunk `index` is written: its buffer takes the chunk after the next.
    void Give(int64_t index) {
        {
            std::lock_guard lock(mutex_);
            slots_[index % 2].ready = false;
        }
        changed_.notify_all();
    }

private:
    void Run() {
        int64_t index = 0;
        for (int64_t position = job_.begin; position < job_.end; position += buffers_.ChunkSize()) {
            Slot& slot = slots_[index % 2];
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] { return stop_ || !slot.ready; });
                if (stop_) return;
            }
            int64_t bytes = std::min(buffers_.ChunkSize(), job_.end - position);
            bool ok = job_.read(position, buffers_.Buffer(index), bytes);
            uint32_t error = ok ? 0 : platform::LastSystemError();
            {
                std::lock_guard lock(mutex_);
                slot = Slot{true, ok, error, bytes};
            }
            changed_.notify_all();
            if (!ok) return;
            ++index;
        }
    }

    const CopyJob& job_;
    ChunkBuffers& buffers_;
    std::mutex mutex_;
    std::condition_variable changed_;
    Slot slots_[2];
    bool stop_ = false;
    std::thread thread_;  // last: starts when everything above exists
};

}  // namespace

std::optional<ChunkBuffers> ChunkBuffers::Allocate(int64_t chunkBytes) {
    ChunkBuffers buffers;
    buffers.chunkBytes_ = chunkBytes;
    for (auto& buffer : buffers.buffers_) {
        buffer.reset(static_cast<uint8_t*>(
            ::operator new[](size_t(chunkBytes), std::align_val_t(kAlignment), std::nothrow)));
        if (!buffer) return std::nullopt;
    }
    return buffers;
}

CopyClock HighResClock() {
    disk::ReadHighResCounter();  // fills the frequency on first use
    return {disk::ReadHighResCounter, disk::HighResFrequency};
}

CopyResult CopyChunks(const CopyJob& job, ChunkBuffers& buffers, const CopyClock& clock) {
    CopyResult result;
    result.counts.frequency = clock.frequency;
    result.started = clock.now();
    auto ending = [&](CopyEnd end, uint32_t error) {
        result.end = end;
        result.error = error;
        return result;
    };
    const int64_t interval = clock.frequency * kUpdateIntervalMs / 1000;
    std::optional<int64_t> lastUpdate;
    ReadAhead ahead(job, buffers);
    int64_t index = 0;
    for (int64_t position = job.begin; position < job.end; ++index) {
        int64_t passStart = clock.now();
        ReadAhead::Slot chunk = ahead.Take(index);
        if (!chunk.ok) return ending(CopyEnd::ReadFailed, chunk.error);
        result.counts.bytesRead += chunk.bytes;
        if (!job.write(position, buffers.Buffer(index), chunk.bytes))
            return ending(CopyEnd::WriteFailed, platform::LastSystemError());
        result.counts.bytesWritten += chunk.bytes;
        position += chunk.bytes;
        ahead.Give(index);
        result.counts.elapsed = clock.now() - result.started;
        if (!lastUpdate || passStart - *lastUpdate > interval) {
            if (job.showProgress) job.showProgress(result.counts);
            lastUpdate = passStart;
        }
        if (job.cancel && *job.cancel != 0) return ending(CopyEnd::Cancelled, 0);
    }
    return result;
}

Comparison CompareChunks(int64_t begin, int64_t end, const ReadChunk& device,
                         const ReadChunk& image, ChunkBuffers& buffers) {
    Comparison comparison;
    uint8_t* ours = buffers.Buffer(0);
    uint8_t* theirs = buffers.Buffer(1);
    for (int64_t position = begin; position < end; position += buffers.ChunkSize()) {
        int64_t bytes = std::min(buffers.ChunkSize(), end - position);
        if (!device(position, ours, bytes) || !image(position, theirs, bytes)) {
            comparison.readable = false;
            comparison.error = platform::LastSystemError();
            return comparison;
        }
        auto [at, _] = std::mismatch(ours, ours + bytes, theirs);
        if (at != ours + bytes) {
            comparison.firstDifference = position - begin + (at - ours);
            return comparison;
        }
    }
    return comparison;
}

}  // namespace imaging
