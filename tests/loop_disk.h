// Loop devices for the root tests: one disk type and one root check shared by them all.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

// Skips the test visibly unless it runs as root.
#define REQUIRE_ROOT(what) \
    if (geteuid() != 0) GTEST_SKIP() << "needs root for " << (what)

namespace test {

// An image attached as a loop device; its mounts go and it is detached when destroyed,
// also when a test fails half-way.
class LoopDisk {
public:
    // A new sparse image of `bytes`.
    LoopDisk(std::filesystem::path image, int64_t bytes, uint32_t sectorSize = 512);
    // An image file as it stands.
    struct Existing {
        std::filesystem::path image;
        uint32_t sectorSize = 512;
    };
    explicit LoopDisk(Existing existing);
    ~LoopDisk();
    LoopDisk(const LoopDisk&) = delete;
    LoopDisk& operator=(const LoopDisk&) = delete;

    bool attached() const { return !device_.empty(); }
    const std::string& error() const { return error_; }
    const std::string& device() const { return device_; }
    std::string name() const { return std::filesystem::path(device_).filename().string(); }
    const std::filesystem::path& image() const { return image_; }
    std::string Partition(int number) const { return device_ + "p" + std::to_string(number); }
    uint32_t sectorSize() const { return sectorSize_; }
    int64_t sectors() const { return bytes_ / sectorSize_; }

    // Writes a partition table from an sfdisk script and waits for the partition nodes.
    bool WriteTable(const std::string& sfdiskScript);
    // Sectors of the disk's own size, through the device node.
    std::vector<uint8_t> Read(int64_t lba, int64_t count) const;
    void Write(int64_t lba, std::span<const uint8_t> bytes) const;
    // Of the whole disk.
    uint64_t Hash() const;
    // Where partition `number` is mounted, or "".
    std::string MountPoint(int number) const;
    // Unmounts every mount of the disk's partitions.
    void Unmount() const;
    // Leaves the image file, for a boot in QEMU or a look at what the device wrote. A
    // device the code under test detached already counts as detached.
    bool Detach();

private:
    void Attach();

    std::filesystem::path image_;
    int64_t bytes_ = 0;
    uint32_t sectorSize_ = 512;
    std::string device_, error_;
};

}  // namespace test
