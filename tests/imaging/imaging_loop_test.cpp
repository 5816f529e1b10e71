// Backup and restore end to end on loop devices (root), through stickforge-cli's verbs:
// byte-identical round trips, the restored MBR entry, and the refusals that must leave the
// disk as it was.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "cli/imaging_verbs.h"
#include "core/settings.h"
#include "core/state.h"
#include "disk/format_size.h"
#include "tests/format/format_disk.h"

namespace format_test {
namespace {

constexpr int64_t kMiB = 1 << 20;

struct Slot {
    int64_t start, sectors;  // in the disk's sectors
    const char* type;
};

std::vector<uint8_t> Pattern(size_t bytes, uint32_t seed) {
    std::vector<uint8_t> data(bytes);
    std::mt19937 random(seed);
    for (size_t i = 0; i + 4 <= bytes; i += 4) {
        uint32_t value = random();
        std::memcpy(data.data() + i, &value, 4);
    }
    return data;
}

std::vector<uint8_t> FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void PutFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// A tmpfs of `mib` MiB on `folder` while this lives: a disk image on it runs out of room
// the disk still claims, so writes past that fail on the device.
class SmallStore {
public:
    SmallStore(const std::string& folder, int mib) : folder_(folder) {
        std::filesystem::create_directories(folder);
        mounted_ = RunTool({"mount", "-t", "tmpfs", "-o", "size=" + std::to_string(mib) + "m",
                            "none", folder}) == 0;
    }
    ~SmallStore() {
        if (mounted_) RunTool({"umount", folder_});
    }
    SmallStore(const SmallStore&) = delete;
    SmallStore& operator=(const SmallStore&) = delete;
    bool mounted() const { return mounted_; }

private:
    std::string folder_;
    bool mounted_ = false;
};

class Imaging : public FormatFixture {
protected:
    // A disk with the given MBR entries, their nodes made.
    LoopDisk& DiskWith(int64_t mib, uint32_t sectorSize, const std::vector<Slot>& slots) {
        LoopDisk& disk = NewDisk(mib, sectorSize);
        if (disk.attached()) Partition(disk, slots);
        return disk;
    }

    void Partition(LoopDisk& disk, const std::vector<Slot>& slots) {
        std::string table, output;
        for (const Slot& slot : slots)
            table += "start=" + std::to_string(slot.start) +
                     ", size=" + std::to_string(slot.sectors) + ", type=" + slot.type + "\n";
        test::WriteFile(scratch.file("table"), table);
        EXPECT_EQ(
            RunTool({"sh", "-c", "sfdisk -q " + disk.device() + " < " + scratch.file("table")},
                    &output),
            0)
            << output;
        RunTool({"partx", "-u", disk.device()}, &output);
        for (size_t n = 1; n <= slots.size(); ++n)
            for (int i = 0; i < 100 && !std::filesystem::exists(disk.Partition(int(n))); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }

    // Runs stickforge-cli backup or restore; the toolkit answers Yes unless scripted.
    RunResult Run(const std::string& verb, std::vector<std::string> arguments,
                  std::vector<ui::Answer> answers = {},
                  std::function<void(const std::string&)> onStatus = nullptr) {
        auto owned = std::make_unique<ScriptedToolkit>();
        ScriptedToolkit& toolkit = *owned;
        ui::SetToolkit(std::move(owned));
        core::InitialiseGlobals();
        core::SetProgramLocation(scratch.file("stickforge"));
        core::LoadSettings();
        EXPECT_TRUE(core::OverrideSetting("EnableFixedDisks", "1"));
        toolkit.Answer(std::move(answers), ui::Answer::Yes);
        if (onStatus) toolkit.OnStatus(std::move(onStatus));
        RunResult result;
        result.status = verb == "backup" ? cli::RunBackup(arguments) : cli::RunRestore(arguments);
        result.statuses = toolkit.StatusLines();
        result.boxes = toolkit.Boxes();
        return result;
    }

    static bool EndsWith(const RunResult& run, const std::string& tail,
                         const std::string& head = "") {
        for (const std::string& line : run.statuses)
            if (line.starts_with(head) && line.ends_with(tail)) return true;
        return false;
    }

    // Backs the partition up, overwrites it, restores it: the image and the partition
    // hold the same bytes at every step.
    // target: the verbs' TARGET words.
    void RoundTrip(LoopDisk& disk, int number, const Slot& slot,
                   const std::vector<std::string>& target) {
        int64_t bytes = slot.sectors * disk.sectorSize();
        std::vector<uint8_t> original = disk.Read(slot.start, slot.sectors);
        std::string image = scratch.file("round.hfs");

        std::vector<std::string> arguments = target;
        arguments.insert(arguments.end(), {image, "--verify"});
        RunResult backup = Run("backup", arguments);
        ASSERT_EQ(backup.status, 0) << backup.Log();
        EXPECT_TRUE(backup.Showed("Verify OK: " + disk::FormatSize(bytes, 0) + " identical"))
            << backup.Log();
        EXPECT_TRUE(EndsWith(backup, " Done")) << backup.Log();
        EXPECT_EQ(FileBytes(image), original);

        disk.Write(slot.start, Pattern(size_t(bytes), 99));
        RunResult restore = Run("restore", arguments);
        ASSERT_EQ(restore.status, 0) << restore.Log();
        EXPECT_EQ(disk.Read(slot.start, slot.sectors), original);
        std::vector<uint8_t> mbr = disk.Read(0, 1);
        EXPECT_EQ(mbr[446 + 16 * (number - 1) + 4], 0xAF);
        EXPECT_EQ(Le32(mbr, 446 + 16 * (number - 1) + 12), uint32_t(slot.sectors));
    }
};

TEST_F(Imaging, RoundTripsWithoutMountPointAtOddSizes) {
    // 40 MiB + 7 sectors: neither a multiple of 16 MiB nor of 1 MiB.
    Slot second{2048 + 8192, 40 * 2048 + 7, "83"};
    LoopDisk& disk = DiskWith(64, 512, {{2048, 8192, "c"}, second});
    ASSERT_TRUE(disk.attached());
    disk.Write(second.start, Pattern(size_t(second.sectors * 512), 1));
    RoundTrip(disk, 2, second, {disk.Partition(2)});
}

TEST_F(Imaging, RoundTripsWith4096ByteSectors) {
    Slot first{256, 5000, "83"};  // 19.5 MiB
    LoopDisk& disk = DiskWith(96, 4096, {first});
    ASSERT_TRUE(disk.attached());
    disk.Write(first.start, Pattern(size_t(first.sectors * 4096), 2));
    RoundTrip(disk, 1, first, {disk.device(), "--partition", "1"});
}

TEST_F(Imaging, RoundTripsAMountedPartitionThroughItsNode) {
    if (!HasProgram("mkfs.ext4")) GTEST_SKIP() << "mkfs.ext4 is not installed";
    Slot first{2048, 34 * 2048, "83"};
    LoopDisk& disk = DiskWith(48, 512, {first});
    ASSERT_TRUE(disk.attached());
    std::string output, folder = scratch.file("mounted");
    std::filesystem::create_directories(folder);
    ASSERT_EQ(RunTool({"mkfs.ext4", "-q", disk.Partition(1)}, &output), 0) << output;
    // Read-only without journal replay: mounting it again leaves every byte as it was.
    ASSERT_EQ(RunTool({"mount", "-o", "ro,noload", disk.Partition(1), folder}, &output), 0)
        << output;
    RoundTrip(disk, 1, first, {disk.Partition(1)});
    EXPECT_EQ(disk.MountPoint(1), folder) << "mounted again after each copy";

    // An image on the partition it copies is refused before anything is created.
    ASSERT_EQ(RunTool({"mount", "-o", "remount,rw", folder}, &output), 0) << output;
    RunResult inside = Run("backup", {disk.Partition(1), folder + "/self.hfs"});
    EXPECT_NE(inside.status, 0);
    ASSERT_EQ(inside.boxes.size(), 1u) << inside.Log();
    EXPECT_EQ(inside.boxes[0].text,
              "The selected file:\n" + folder +
                  "/self.hfs\nlies on the partition being read.\nChoose a file on another drive.");
    EXPECT_FALSE(std::filesystem::exists(folder + "/self.hfs"));
}

TEST_F(Imaging, RestoresTheSecondPartitionOfAFormattedDisk) {
    LoopDisk& disk = NewDisk(96);
    ASSERT_TRUE(disk.attached());
    RunResult format =
        Format(disk.device(), {{"MultiPartitions", "1"}, {"BootPartitionSize", "40"}});
    ASSERT_EQ(format.status, 0) << format.Log();
    std::vector<uint8_t> mbrBefore = disk.Read(0, 1);
    int64_t start = Le32(mbrBefore, 446 + 16 + 8), sectors = Le32(mbrBefore, 446 + 16 + 12);
    ASSERT_GT(sectors, 40 * 2048);

    // 20 MiB + 3 sectors onto a partition of about 60 MiB: it shrinks to the image.
    std::vector<uint8_t> image = Pattern(size_t(20 * kMiB + 3 * 512), 3);
    PutFile(scratch.file("recovery.hfs"), image);
    int64_t imageSectors = int64_t(image.size() / 512);
    std::vector<uint8_t> after = disk.Read(start + imageSectors, sectors - imageSectors);
    RunResult restore = Run("restore", {disk.Partition(2), scratch.file("recovery.hfs")});
    ASSERT_EQ(restore.status, 0) << restore.Log();
    ASSERT_EQ(restore.boxes.size(), 1u) << restore.Log();
    EXPECT_EQ(restore.boxes[0].title, "Information");
    EXPECT_EQ(restore.boxes[0].text,
              "You have selected following file:\n" + scratch.file("recovery.hfs") + "\n20 MB");
    EXPECT_TRUE(EndsWith(restore, " Done", "20 MB/20 MB ")) << restore.Log();

    EXPECT_EQ(disk.Read(start, imageSectors), image);
    EXPECT_EQ(disk.Read(start + imageSectors, sectors - imageSectors), after);
    std::vector<uint8_t> mbrAfter = disk.Read(0, 1), expected = mbrBefore;
    expected[446 + 16 + 4] = 0xAF;
    for (int i = 0; i < 4; ++i) expected[446 + 16 + 12 + i] = uint8_t(imageSectors >> (8 * i));
    EXPECT_EQ(mbrAfter, expected) << "only the type and the count of entry 2 change";
    std::vector<SfdiskEntry> table = SfdiskPartitions(disk.device(), nullptr);
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(table[1].type, "af");
    EXPECT_EQ(table[1].size, imageSectors);
}

TEST_F(Imaging, RefusalsLeaveTheDiskAsItWas) {
    Slot first{2048, 8 * 2048, "c"}, second{2048 + 8 * 2048, 10 * 2048, "83"};
    LoopDisk& disk = DiskWith(32, 512, {first, second});
    ASSERT_TRUE(disk.attached());
    const uint64_t before = disk.Hash();
    std::string tooBig = scratch.file("big.hfs"), odd = scratch.file("odd.hfs");
    PutFile(tooBig, Pattern(size_t(10 * kMiB + 512), 4));
    PutFile(odd, Pattern(size_t(kMiB + 100), 5));

    RunResult big = Run("restore", {disk.Partition(2), tooBig});
    EXPECT_NE(big.status, 0);
    ASSERT_EQ(big.boxes.size(), 1u) << big.Log();
    EXPECT_EQ(big.boxes[0].title, "Error");
    EXPECT_EQ(big.boxes[0].text, "File too big:\n" + tooBig + "\n10.0 MB");

    RunResult uneven = Run("restore", {disk.Partition(2), odd});
    EXPECT_NE(uneven.status, 0);
    ASSERT_EQ(uneven.boxes.size(), 1u) << uneven.Log();
    EXPECT_EQ(uneven.boxes[0].text, "The selected file:\n" + odd +
                                        "\nis 1048676 bytes, not a whole number of 512-byte "
                                        "sectors.\nNothing was written.");

    RunResult missing = Run("restore", {disk.Partition(2), scratch.file("none.hfs")});
    EXPECT_NE(missing.status, 0);
    ASSERT_EQ(missing.boxes.size(), 1u) << missing.Log();
    EXPECT_EQ(missing.boxes[0].text,
              "The selected file:\n" + scratch.file("none.hfs") + "\nnot found.");

    std::string fits = scratch.file("fits.hfs");
    PutFile(fits, Pattern(size_t(kMiB), 6));
    RunResult answeredNo = Run("restore", {disk.Partition(1), fits}, {ui::Answer::No});
    EXPECT_NE(answeredNo.status, 0);
    EXPECT_EQ(answeredNo.boxes.size(), 1u) << answeredNo.Log();
    RunResult wholeDisk = Run("restore", {"0", tooBig});
    EXPECT_TRUE(wholeDisk.Showed("For Restore select Partition only")) << wholeDisk.Log();
    EXPECT_EQ(disk.Hash(), before);
}

TEST_F(Imaging, ImageOnTheRestoredDiskIsRefused) {
    if (!HasProgram("mkfs.ext4")) GTEST_SKIP() << "mkfs.ext4 is not installed";
    Slot first{2048, 24 * 2048, "83"}, second{2048 + 24 * 2048, 4 * 2048, "83"};
    LoopDisk& disk = DiskWith(32, 512, {first, second});
    ASSERT_TRUE(disk.attached());
    std::string output, folder = scratch.file("mounted");
    std::filesystem::create_directories(folder);
    ASSERT_EQ(RunTool({"mkfs.ext4", "-q", disk.Partition(1)}, &output), 0) << output;
    ASSERT_EQ(RunTool({"mount", disk.Partition(1), folder}, &output), 0) << output;
    PutFile(folder + "/image.hfs", Pattern(size_t(2 * kMiB), 6));
    RunTool({"sync"});
    std::vector<uint8_t> target = disk.Read(second.start, second.sectors);
    std::vector<uint8_t> mbr = disk.Read(0, 1);

    RunResult run = Run("restore", {disk.Partition(2), folder + "/image.hfs"});
    EXPECT_NE(run.status, 0);
    ASSERT_EQ(run.boxes.size(), 1u) << run.Log();
    EXPECT_EQ(run.boxes[0].text, "The selected file:\n" + folder +
                                     "/image.hfs\nlies on the disk being written.\nChoose a "
                                     "file on another drive.");
    EXPECT_EQ(disk.Read(second.start, second.sectors), target);
    EXPECT_EQ(disk.Read(0, 1), mbr);
}

TEST_F(Imaging, AnExistingFileAnsweredNoIsLeftAlone) {
    Slot first{2048, 4 * 2048, "83"};
    LoopDisk& disk = DiskWith(16, 512, {first});
    ASSERT_TRUE(disk.attached());
    std::vector<uint8_t> kept = Pattern(12345, 7);
    PutFile(scratch.file("kept.hfs"), kept);
    RunResult run = Run("backup", {disk.Partition(1), scratch.file("kept.hfs")}, {ui::Answer::No});
    EXPECT_NE(run.status, 0);
    ASSERT_EQ(run.boxes.size(), 1u) << run.Log();
    EXPECT_EQ(run.boxes[0].title, "Warning");
    EXPECT_EQ(run.boxes[0].text, "The selected file:\n" + scratch.file("kept.hfs") +
                                     "\nalready exists. Overwrite it?");
    EXPECT_EQ(FileBytes(scratch.file("kept.hfs")), kept);
}

TEST_F(Imaging, CancelKeepsWholeChunksAndStillRewritesTheEntry) {
    Slot first{2048, 40 * 2048, "83"};  // 40 MiB: three chunks
    LoopDisk& disk = DiskWith(48, 512, {first});
    ASSERT_TRUE(disk.attached());
    std::vector<uint8_t> original = Pattern(size_t(40 * kMiB), 8);
    disk.Write(first.start, original);
    // The first progress line comes after the first chunk: cancel there.
    auto cancelAtProgress = [](const std::string& status) {
        if (status.find("% ") != std::string::npos) core::TransferCancelFlag = 1;
    };

    std::string image = scratch.file("part.hfs");
    RunResult backup = Run("backup", {disk.Partition(1), image}, {}, cancelAtProgress);
    EXPECT_NE(backup.status, 0);
    EXPECT_TRUE(backup.Showed("Backup Cancelled")) << backup.Log();
    EXPECT_TRUE(EndsWith(backup, " Done")) << backup.Log();
    std::vector<uint8_t> saved = FileBytes(image);
    ASSERT_EQ(saved.size(), size_t(16 * kMiB));
    EXPECT_TRUE(std::equal(saved.begin(), saved.end(), original.begin()));

    std::vector<uint8_t> replacement = Pattern(size_t(36 * kMiB), 9);
    PutFile(image, replacement);
    RunResult restore = Run("restore", {disk.Partition(1), image}, {}, cancelAtProgress);
    EXPECT_NE(restore.status, 0);
    EXPECT_TRUE(restore.Showed("Restore Cancelled")) << restore.Log();
    std::vector<uint8_t> now = disk.Read(first.start, first.sectors);
    EXPECT_TRUE(std::equal(now.begin(), now.begin() + 16 * kMiB, replacement.begin()));
    EXPECT_TRUE(std::equal(now.begin() + 16 * kMiB, now.end(), original.begin() + 16 * kMiB));
    std::vector<uint8_t> mbr = disk.Read(0, 1);
    EXPECT_EQ(mbr[446 + 4], 0xAF);
    EXPECT_EQ(Le32(mbr, 446 + 12), uint32_t(36 * 2048)) << "the whole image's size";
}

TEST_F(Imaging, AFailedWriteOnTheDeviceIsReportedAndLeavesTheEntry) {
    SmallStore store(scratch.file("store"), 6);
    ASSERT_TRUE(store.mounted());
    LoopDisk disk(scratch.path() / "store" / "disk.img", 32 * kMiB);
    ASSERT_TRUE(disk.attached()) << disk.error();
    Slot first{2048, 28 * 2048, "83"};
    Partition(disk, {first});
    std::vector<uint8_t> mbr = disk.Read(0, 1);
    std::string image = scratch.file("big.hfs");
    PutFile(image, Pattern(size_t(20 * kMiB), 10));

    RunResult restore = Run("restore", {disk.Partition(1), image});
    EXPECT_NE(restore.status, 0);
    EXPECT_TRUE(restore.Showed("WriteFile Error=" + std::to_string(ENOSPC))) << restore.Log();
    EXPECT_FALSE(EndsWith(restore, " Done")) << restore.Log();
    ASSERT_EQ(restore.boxes.size(), 2u) << restore.Log();
    EXPECT_EQ(restore.boxes[1].title, "Error");
    EXPECT_EQ(disk.Read(0, 1), mbr) << "the entry stays as it was";
}

}  // namespace
}  // namespace format_test
