// Bulk transfers past the page cache on loop devices (root): what the direct path moves is
// on the device before any flush, through the exclusive descriptor a disk is written with,
// and transfers the direct path refuses (unaligned buffer, offset or length) still arrive.

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <random>

#include "imaging/chunk_copy.h"
#include "platform/linux/disk_handle.h"
#include "tests/format/format_disk.h"

namespace format_test {
namespace {

constexpr int64_t kMiB = 1 << 20;

void Fill(uint8_t* data, size_t bytes, uint32_t seed) {
    std::mt19937 random(seed);
    for (size_t i = 0; i < bytes; ++i) data[i] = uint8_t(random());
}

// What the loop device's backing file holds: what reached the device, past its cache.
std::vector<uint8_t> Stored(const LoopDisk& disk, int64_t at, int64_t bytes) {
    std::vector<uint8_t> data(static_cast<size_t>(bytes));
    std::ifstream in(disk.image(), std::ios::binary);
    in.seekg(at);
    in.read(reinterpret_cast<char*>(data.data()), bytes);
    return data;
}

bool Holds(const std::vector<uint8_t>& stored, const uint8_t* data) {
    return std::memcmp(stored.data(), data, stored.size()) == 0;
}

using DirectTransfers = FormatFixture;

TEST_F(DirectTransfers, ReachTheDeviceBeforeAnyFlush) {
    LoopDisk& disk = NewDisk(32);
    ASSERT_TRUE(disk.attached());
    auto buffers = imaging::ChunkBuffers::Allocate(4 * kMiB);
    ASSERT_TRUE(buffers);
    uint8_t* chunk = buffers->Buffer(0);
    Fill(chunk, 4 * kMiB, 1);

    // The disk through its exclusive descriptor, and its first partition (from 1 MiB).
    struct Node {
        std::string path;
        bool volume;
        int64_t at, onDisk;
    };
    for (const Node& node : {Node{disk.device(), false, 4 * kMiB, 4 * kMiB},
                             Node{disk.Partition(1), true, kMiB, 2 * kMiB}}) {
        SCOPED_TRACE(node.path);
        auto handle = platform::linuxos::OpenBlockDevice(node.path, true, node.volume);
        ASSERT_TRUE(handle);
        handle->UseDirectTransfers(true);
        ASSERT_EQ(handle->WriteAt(node.at, chunk, 4 * kMiB), 4 * kMiB);
        EXPECT_TRUE(Holds(Stored(disk, node.onDisk, 4 * kMiB), chunk));
        handle->UseDirectTransfers(false);
        Fill(chunk, 4 * kMiB, 2);
    }
}

TEST_F(DirectTransfers, RefusedTransfersGoThroughTheCacheAndTheNextOnesDoNot) {
    LoopDisk& disk = NewDisk(96, 4096);
    ASSERT_TRUE(disk.attached());
    auto handle = platform::linuxos::OpenBlockDevice(disk.device(), true, false);
    ASSERT_TRUE(handle);
    handle->UseDirectTransfers(true);

    // Neither buffer, offset nor length is a whole number of 4096-byte sectors.
    const int64_t at = 5 * 4096 + 100, bytes = 3 * 4096 + 1000;
    std::vector<uint8_t> odd(size_t(bytes) + 1), back(size_t(bytes) + 3);
    Fill(odd.data(), odd.size(), 3);
    ASSERT_EQ(handle->WriteAt(at, odd.data() + 1, bytes), bytes);
    ASSERT_EQ(handle->ReadAt(at, back.data() + 3, bytes), bytes);
    EXPECT_EQ(std::memcmp(back.data() + 3, odd.data() + 1, size_t(bytes)), 0);

    // An aligned chunk after it passes the cache again, and its tail of less than a page
    // still arrives.
    auto buffers = imaging::ChunkBuffers::Allocate(2 * kMiB);
    ASSERT_TRUE(buffers);
    uint8_t* chunk = buffers->Buffer(0);
    Fill(chunk, 2 * kMiB, 4);
    ASSERT_EQ(handle->WriteAt(kMiB, chunk, kMiB), kMiB);
    EXPECT_TRUE(Holds(Stored(disk, kMiB, kMiB), chunk));
    ASSERT_EQ(handle->WriteAt(2 * kMiB, chunk + kMiB, 4096 + 512), 4096 + 512);

    handle->UseDirectTransfers(false);
    ASSERT_TRUE(handle->Flush());
    EXPECT_TRUE(Holds(Stored(disk, at, bytes), odd.data() + 1));
    EXPECT_TRUE(Holds(Stored(disk, 2 * kMiB, 4096 + 512), chunk + kMiB));
}

}  // namespace
}  // namespace format_test
