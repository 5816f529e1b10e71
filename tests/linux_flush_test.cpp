// What the program writes is on the device when it says so: raw writes when the disk
// handle lets go, files when a file tree finishes, even while others keep the device
// open (so that no last close flushes it). A disk is rewritten only while nothing holds
// its partitions. Root, on loop devices whose image files show what reached the device.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

#include "platform/disks.h"
#include "platform/file_tree.h"
#include "platform/linux/child_process.h"
#include "platform/linux/disk_handle.h"
#include "platform/linux/mtools_tree.h"
#include "platform/linux/unique_fd.h"
#include "tests/loop_disk.h"
#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;
using platform::linuxos::UniqueFd;

std::string Pattern(size_t bytes) {
    std::mt19937 random(std::random_device{}());
    std::string pattern(bytes, '\0');
    for (char& byte : pattern) byte = char(random());
    return pattern;
}

platform::ByteSource From(const std::string& text) {
    auto offset = std::make_shared<size_t>(0);
    return [text, offset](uint8_t* buffer, size_t capacity) {
        size_t count = std::min(capacity, text.size() - *offset);
        std::copy_n(text.data() + *offset, count, buffer);
        *offset += count;
        return int64_t(count);
    };
}

int RunTool(const std::vector<std::string>& argv) {
    using namespace platform::linuxos;
    return RunProgram(argv, ChildOptions{ChildOutput::Discard, "", true, {}});
}

// A loop disk with an MBR of one partition from sector 2048 when asked; a second
// descriptor keeps the disk open as a probing tool would.
class LoopImage {
public:
    LoopImage(const test::ScratchFolder& scratch, bool partitioned)
        : disk_(scratch.file("disk.img"), int64_t(64) << 20) {
        if (!disk_.attached() || (partitioned && !disk_.WriteTable("start=2048, type=7\n"))) return;
        holder_ = UniqueFd(open(disk_.device().c_str(), O_RDONLY | O_CLOEXEC));
    }
    ~LoopImage() { holder_.Reset(); }
    bool attached() const { return bool(holder_); }
    const std::string& device() const { return disk_.device(); }
    std::string partition() const { return disk_.Partition(1); }
    // The image file as the loop device left it.
    std::string Contents() const {
        std::ifstream in(disk_.image(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    test::LoopDisk disk_;
    UniqueFd holder_;
};

class Flush : public ::testing::Test {
protected:
    void SetUp() override { REQUIRE_ROOT("loop devices and mounts"); }
    static void RequireTools(std::initializer_list<const char*> tools) {
        for (const char* tool : tools)
            if (platform::linuxos::FindProgram(tool).empty())
                GTEST_SKIP() << tool << " is not installed";
    }
    test::ScratchFolder scratch;
};

TEST_F(Flush, RawWritesReachTheDiskWhenItsHandleLetsGo) {
    LoopImage disk(scratch, false);
    ASSERT_TRUE(disk.attached());
    const std::string pattern = Pattern(64 << 10);
    auto handle = platform::linuxos::OpenBlockDevice(disk.device(), true, false);
    ASSERT_TRUE(handle && handle->Lock());
    ASSERT_EQ(handle->WriteAt(1 << 20, pattern.data(), int64_t(pattern.size())),
              int64_t(pattern.size()));
    handle->Unlock();
    EXPECT_EQ(disk.Contents().substr(1 << 20, pattern.size()), pattern);
}

TEST_F(Flush, FinishedFilesAreOnTheDeviceOfAFuseVolume) {
    RequireTools({"mkfs.exfat", "mount.exfat-fuse", "fsck.exfat"});
    LoopImage disk(scratch, false);
    ASSERT_TRUE(disk.attached());
    ASSERT_EQ(RunTool({"mkfs.exfat", disk.device()}), 0);
    std::string folder = scratch.file("mounted");
    fs::create_directory(folder);
    ASSERT_EQ(RunTool({"mount.exfat-fuse", disk.device(), folder}), 0);
    const std::string pattern = Pattern(256 << 10);
    auto tree = platform::OpenFileTree(folder);
    bool written = tree->CreateFolder("EFI/BOOT") &&
                   tree->WriteFile("EFI/BOOT/data.bin", From(pattern), false) && tree->Finish();
    std::string contents = disk.Contents();
    umount2(folder.c_str(), 0);
    ASSERT_TRUE(written);
    EXPECT_NE(contents.find(pattern), std::string::npos) << "the file's bytes are not on the disk";

    // What reached the device is a whole volume.
    std::string copy = scratch.file("copy.img");
    std::ofstream(copy, std::ios::binary) << contents;
    EXPECT_EQ(RunTool({"fsck.exfat", "-n", copy}), 0);
}

TEST_F(Flush, FinishedFilesAreOnTheDeviceOfAnMtoolsVolume) {
    RequireTools({"mkfs.fat", "mcopy", "mattrib"});
    LoopImage disk(scratch, false);
    ASSERT_TRUE(disk.attached());
    ASSERT_EQ(RunTool({"mkfs.fat", "-F", "32", disk.device()}), 0);
    const std::string pattern = Pattern(256 << 10);
    auto tree = platform::linuxos::OpenMtoolsTree(disk.device(), "");
    ASSERT_TRUE(tree->WriteFile("data.bin", From(pattern), false));
    ASSERT_TRUE(tree->Finish());
    EXPECT_NE(disk.Contents().find(pattern), std::string::npos);
}

TEST_F(Flush, ADiskIsNotRewrittenWhileAPartitionIsHeld) {
    LoopImage disk(scratch, true);
    ASSERT_TRUE(disk.attached());
    const std::string before = disk.Contents();
    {
        // Held the way a mounted file system holds it, mounted nowhere here.
        UniqueFd held(open(disk.partition().c_str(), O_RDONLY | O_EXCL | O_CLOEXEC));
        ASSERT_TRUE(held) << disk.partition();
        auto handle = platform::linuxos::OpenBlockDevice(disk.device(), true, false);
        ASSERT_TRUE(handle);
        EXPECT_FALSE(handle->Lock());
        const std::string zeros(512, '\0');
        EXPECT_EQ(handle->WriteAt(0, zeros.data(), 512), 0);
        EXPECT_EQ(handle->WriteAt(2048 * 512, zeros.data(), 512), 0);
    }
    EXPECT_EQ(disk.Contents(), before);

    // Let go: the disk can be locked and written again.
    auto handle = platform::linuxos::OpenBlockDevice(disk.device(), true, false);
    ASSERT_TRUE(handle && handle->Lock());
    const std::string marks(512, 'm');
    EXPECT_EQ(handle->WriteAt(2048 * 512, marks.data(), 512), 512);
    handle.reset();
    EXPECT_EQ(disk.Contents().substr(2048 * 512, 512), marks);
}

}  // namespace
