// "Format Disk" end to end on loop devices (root): every boot record set with the file
// systems it allows, the four start sectors, one and two partitions, 4096-byte sectors;
// the refusals leave the disk as it was; mounted logical partitions; Format Cancel and
// an unplugged disk mid-run.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <map>
#include <sstream>
#include <thread>

#include "core/ids.h"
#include "core/state.h"
#include "prepare/boot_images.h"
#include "tests/format/format_disk.h"
#include "tests/qemu/boot_disk.h"
#include "ui/toolkit.h"

namespace format_test {
namespace {

using prepare::BootImage;
using prepare::BootImageBytes;

constexpr int64_t kDiskMiB = 160;
constexpr int32_t kBootMiB = 100;  // the first of two partitions

struct Combo {
    const char* name;
    const char* bootRecords;
    const char* fileSystem;  // as set
    const char* made;        // what the disk gets
    int64_t start;
    int32_t bootMiB;  // 0: one partition
};

const Combo kCombos[] = {
    {"CloverFat32At63", "Clover", "FAT32", "FAT32", 63, 0},
    {"CloverFat32LbaTwoPartitionsAt2048", "Clover", "FAT32-LBA", "FAT32-LBA", 2048, kBootMiB},
    {"CloverExFatAt4096", "Clover", "exFAT", "exFAT", 4096, 0},
    {"CloverExFatTwoPartitionsAt8192", "Clover", "exFAT", "exFAT", 8192, kBootMiB},
    {"XpcFat32LbaTwoPartitionsAt63", "XPC", "FAT32-LBA", "FAT32-LBA", 63, kBootMiB},
    {"XpcExFatBecomesFat32LbaAt8192", "XPC", "exFAT", "FAT32-LBA", 8192, 0},
    {"WindowsFat32TwoPartitionsAt4096", "Windows", "FAT32", "FAT32", 4096, kBootMiB},
    {"WindowsFat32LbaAt2048", "Windows", "FAT32-LBA", "FAT32-LBA", 2048, 0},
    {"WindowsExFatAt63", "Windows", "exFAT", "exFAT", 63, 0},
    {"WindowsNtfsTwoPartitionsAt2048", "Windows", "NTFS", "NTFS", 2048, kBootMiB},
    {"WindowsUdfAt8192", "Windows", "UDF", "UDF", 8192, 0},
};

void PrintTo(const Combo& combo, std::ostream* out) { *out << combo.name; }

bool IsFat32(const std::string& fileSystem) { return fileSystem.starts_with("FAT32"); }

BootImage MbrOf(const std::string& bootRecords) {
    if (bootRecords == "Windows") return BootImage::UsbHddPlus;
    return bootRecords == "XPC" ? BootImage::MbrBin : BootImage::Boot0;
}

// The CHS bytes of an LBA with 255 heads and 63 sectors per track.
std::array<uint8_t, 3> Chs(int64_t lba) {
    int64_t cylinder = lba / (63 * 255);
    return {uint8_t(lba / 63 % 255), uint8_t(lba % 63 + 1 + ((cylinder >> 2) & 0xC0)),
            uint8_t(cylinder)};
}

std::array<uint8_t, 3> Bytes3(const std::vector<uint8_t>& sector, size_t at) {
    return {sector[at], sector[at + 1], sector[at + 2]};
}

bool AllZero(const std::vector<uint8_t>& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; });
}

bool Equal(std::span<const uint8_t> a, std::span<const uint8_t> b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

// Sector 0: the set's code, the entries, nothing after byte 511.
void ExpectMbr(const LoopDisk& disk, BootImage image, const std::vector<SfdiskEntry>& expected) {
    std::vector<uint8_t> mbr = disk.Read(0, 1);
    std::span<const uint8_t> code = BootImageBytes(image);
    EXPECT_TRUE(Equal(std::span(mbr).first(440), code.first(440))) << "MBR code";
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE("entry " + std::to_string(i + 1));
        size_t at = 446 + 16 * i;
        std::vector<uint8_t> entry(mbr.begin() + at, mbr.begin() + at + 16);
        if (i >= expected.size()) {
            EXPECT_TRUE(AllZero(entry));
            continue;
        }
        const SfdiskEntry& e = expected[i];
        EXPECT_EQ(entry[0], e.bootable ? 0x80 : 0x00);
        EXPECT_EQ(entry[4], std::stoi(e.type, nullptr, 16));
        EXPECT_EQ(Le32(entry, 8), uint32_t(e.start));
        EXPECT_EQ(Le32(entry, 12), uint32_t(e.size));
        EXPECT_EQ(Bytes3(entry, 1), Chs(e.start));
        // The last partition ends at the geometry's last whole cylinder.
        int64_t end =
            i + 1 == expected.size() ? disk.sectors() / (255 * 63) * (255 * 63) : e.start + e.size;
        EXPECT_EQ(Bytes3(entry, 5), Chs(end - 1));
    }
    EXPECT_EQ(mbr[510], 0x55);
    EXPECT_EQ(mbr[511], 0xAA);
    EXPECT_TRUE(AllZero(std::vector<uint8_t>(mbr.begin() + 512, mbr.end())));
}

void ExpectTable(const LoopDisk& disk, const std::vector<SfdiskEntry>& expected) {
    int64_t sectorSize = 0;
    std::vector<SfdiskEntry> found = SfdiskPartitions(disk.device(), &sectorSize);
    EXPECT_EQ(sectorSize, disk.sectorSize());
    ASSERT_EQ(found.size(), expected.size());
    for (size_t i = 0; i < found.size(); ++i) {
        SCOPED_TRACE("partition " + std::to_string(i + 1));
        EXPECT_EQ(found[i].start, expected[i].start);
        EXPECT_EQ(found[i].size, expected[i].size);
        EXPECT_EQ(found[i].type, expected[i].type);
        EXPECT_EQ(found[i].bootable, expected[i].bootable);
    }
}

// fsck's verdict on an unmounted volume; FAT32 and exFAT only.
void ExpectCheckPasses(const std::string& node, const std::string& fileSystem) {
    std::string output;
    std::string tool = IsFat32(fileSystem) ? "fsck.fat" : "fsck.exfat";
    if (IsFat32(fileSystem) || fileSystem == "exFAT") {
        EXPECT_EQ(RunTool({tool, "-n", node}, &output), 0) << output;
    }
}

void ExpectFileSystem(const std::string& node, const std::string& fileSystem) {
    const std::map<std::string, std::string> types = {{"FAT32", "vfat"},
                                                      {"FAT32-LBA", "vfat"},
                                                      {"exFAT", "exfat"},
                                                      {"NTFS", "ntfs"},
                                                      {"UDF", "udf"}};
    EXPECT_EQ(Blkid(node, "TYPE"), types.at(fileSystem));
    if (IsFat32(fileSystem)) {
        EXPECT_EQ(Blkid(node, "VERSION"), "FAT32");
    }
    EXPECT_EQ(Blkid(node, "LABEL"), "CLOVER");
}

// The boot sector(s) of partition 1: the image's code around the volume's own parameter
// block, or the format service's boot sector where the set has no PBR.
void ExpectPartitionBootRecord(const LoopDisk& disk, int64_t start, const std::string& bootRecords,
                               const std::string& fileSystem) {
    uint32_t b = disk.sectorSize();
    if (IsFat32(fileSystem)) {
        std::vector<uint8_t> boot = disk.Read(start, 1), backup = disk.Read(start + 6, 1);
        EXPECT_EQ(Le32(boot, 28), uint32_t(start)) << "hidden sectors";
        // The backup boot sector keeps what the format service wrote.
        EXPECT_TRUE(Equal(std::span(boot).subspan(3, 87), std::span(backup).subspan(3, 87)));
        if (bootRecords == "Windows") {
            EXPECT_TRUE(Equal(boot, backup)) << "a PBR was written";
            return;
        }
        auto image =
            BootImageBytes(bootRecords == "XPC" ? BootImage::Bs32Bin : BootImage::Boot1f32alt);
        EXPECT_TRUE(Equal(std::span(boot).first(3), image.first(3)));
        EXPECT_TRUE(Equal(std::span(boot).subspan(90, 422), image.subspan(90, 422)));
        EXPECT_TRUE(AllZero(std::vector<uint8_t>(boot.begin() + 512, boot.end())));
        return;
    }
    if (fileSystem == "exFAT") {
        std::vector<uint8_t> region = disk.Read(start, 24);
        EXPECT_EQ(std::string(region.begin() + 3, region.begin() + 11), "EXFAT   ");
        EXPECT_EQ(Le64(region, 64), uint64_t(start)) << "PartitionOffset";
        std::span<const uint8_t> all(region);
        EXPECT_TRUE(Equal(all.subspan(12 * b, 12 * b), all.first(12 * b))) << "backup region";
        for (size_t sector = 1; sector <= 8; ++sector)
            EXPECT_EQ(Le32(region, (sector + 1) * b - 4), 0xAA550000u)
                << "extended boot sector " << sector;
        uint32_t checksum = test::ExFatBootChecksum(all.first(11 * b));
        for (size_t at = 11 * b; at < 12 * b; at += 4)
            ASSERT_EQ(Le32(region, at), checksum) << "checksum sector at " << at;
        auto image = BootImageBytes(BootImage::Boot1xalt);
        bool hasImage = Equal(all.subspan(120, 904), image.subspan(120, 904));
        EXPECT_EQ(hasImage, bootRecords == "Clover");
        return;
    }
    if (fileSystem == "NTFS") {
        std::vector<uint8_t> boot = disk.Read(start, 1);
        EXPECT_EQ(std::string(boot.begin() + 3, boot.begin() + 11), "NTFS    ");
        EXPECT_EQ(Le32(boot, 28), uint32_t(start)) << "hidden sectors";
    }
}

class FormatCombos : public FormatFixture, public ::testing::WithParamInterface<Combo> {};

TEST_P(FormatCombos, PartitionsFormatsAndWritesTheBootRecords) {
    const Combo& c = GetParam();
    if (std::string(c.made) == "UDF" && !HasProgram("mkudffs"))
        GTEST_SKIP() << "mkudffs is not installed";
    if (std::string(c.made) == "NTFS" && !HasProgram("mkntfs"))
        GTEST_SKIP() << "mkntfs is not installed";
    int64_t bootSectors = int64_t(c.bootMiB) << 11;
    std::vector<int64_t> starts = {c.start};
    if (c.bootMiB) starts.push_back(c.start + bootSectors);
    LoopDisk& disk = NewDisk(kDiskMiB, 512, starts);
    ASSERT_TRUE(disk.attached());

    Settings settings = {{"Boot_records", c.bootRecords},
                         {"FileSystem", c.fileSystem},
                         {"StartLBASector", std::to_string(c.start)},
                         {"MultiPartitions", c.bootMiB ? "1" : "0"}};
    if (c.bootMiB) settings.push_back({"BootPartitionSize", std::to_string(c.bootMiB)});
    RunResult run = Format(disk.device(), settings);
    ASSERT_EQ(run.status, 0) << run.Log();
    ASSERT_EQ(run.boxes.size(), 2u) << run.Log();
    EXPECT_NE(run.boxes[0].text.find("Target Drive is Not USB Disk!"), std::string::npos);
    EXPECT_EQ(run.boxes[1].title, "WARNING");
    EXPECT_NE(run.boxes[1].text.find(std::string("FS:\t") + c.made + "\r\n"), std::string::npos)
        << run.boxes[1].text;
    bool withPbr = std::string(c.bootRecords) != "Windows";
    EXPECT_EQ(run.Showed(std::string(c.bootRecords) + " boot records installed"), withPbr)
        << run.Log();

    disk.Unmount();
    // The type byte as the format service leaves it for the file system.
    const std::map<std::string, std::string> types = {
        {"FAT32", "c"}, {"FAT32-LBA", "c"}, {"exFAT", "7"}, {"NTFS", "7"}, {"UDF", "6"}};
    std::string type = types.at(c.made);
    std::vector<SfdiskEntry> expected = {
        {c.start, c.bootMiB ? bootSectors : disk.sectors() - c.start, type, true}};
    if (c.bootMiB)
        expected.push_back({c.start + bootSectors, disk.sectors() - c.start - bootSectors, "6"});
    ExpectTable(disk, expected);
    ExpectMbr(disk, MbrOf(c.bootRecords), expected);

    // Cleared: the old structures in front of partition 1, the second partition's first
    // sector and, with partition 2 unformatted, the end of the disk.
    int64_t front = std::min<int64_t>(c.start, 128);
    EXPECT_TRUE(AllZero(disk.Read(1, front - 1)));
    if (c.bootMiB) {
        EXPECT_TRUE(AllZero(disk.Read(expected[1].start, 1)));
        EXPECT_TRUE(AllZero(disk.Read(disk.sectors() - 128, 128)));
    }

    ExpectFileSystem(disk.Partition(1), c.made);
    ExpectCheckPasses(disk.Partition(1), c.made);
    ExpectPartitionBootRecord(disk, c.start, c.bootRecords, c.made);
}

INSTANTIATE_TEST_SUITE_P(Sets, FormatCombos, ::testing::ValuesIn(kCombos),
                         [](const auto& info) { return std::string(info.param.name); });

using FormatWorkflow = FormatFixture;

// exFAT: the loader's two halves fill the first 1024 bytes of sector 0; the extended boot
// sectors after it keep what the format service wrote.
TEST_F(FormatWorkflow, CloverOnFourKilobyteSectors) {
    for (auto [fileSystem, type] : {std::pair{"FAT32-LBA", "c"}, std::pair{"exFAT", "7"}}) {
        SCOPED_TRACE(fileSystem);
        LoopDisk& disk = NewDisk(320, 4096, {2048});
        ASSERT_TRUE(disk.attached());
        RunResult run = Format(disk.device(), {{"Boot_records", "Clover"},
                                               {"FileSystem", fileSystem},
                                               {"StartLBASector", "2048"},
                                               {"MultiPartitions", "0"}});
        ASSERT_EQ(run.status, 0) << run.Log();
        disk.Unmount();
        std::vector<SfdiskEntry> expected = {{2048, disk.sectors() - 2048, type, true}};
        ExpectTable(disk, expected);
        ExpectMbr(disk, BootImage::Boot0, expected);
        ExpectFileSystem(disk.Partition(1), fileSystem);
        ExpectCheckPasses(disk.Partition(1), fileSystem);
        ExpectPartitionBootRecord(disk, 2048, "Clover", fileSystem);
    }
}

// A mounted logical partition (number 5, which the four entries do not show) is let go
// like the others: the new table reaches the disk.
TEST_F(FormatWorkflow, AMountedLogicalPartitionIsDismountedBeforeTheRewrite) {
    if (!HasProgram("mkfs.ext4")) GTEST_SKIP() << "mkfs.ext4 is not installed";
    LoopDisk& disk = NewDisk(kDiskMiB);
    ASSERT_TRUE(disk.attached());
    ASSERT_TRUE(
        disk.WriteTable("start=2048, size=20480, type=c, bootable\n"
                        "start=22528, type=5\n"
                        "start=24576, size=40960, type=83\n"));
    std::string output, folder = scratch.file("logical");
    RunTool({"partx", "-a", "-n", "5:5", disk.device()}, &output);  // where the kernel did not
    for (int i = 0; i < 100 && !std::filesystem::exists(disk.Partition(5)); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::filesystem::create_directories(folder);
    ASSERT_EQ(RunTool({"mkfs.ext4", "-q", disk.Partition(5)}, &output), 0) << output;
    ASSERT_EQ(RunTool({"mount", disk.Partition(5), folder}, &output), 0) << output;
    ASSERT_EQ(disk.MountPoint(5), folder);

    RunResult run = Format(disk.device(), {{"Boot_records", "Clover"},
                                           {"FileSystem", "exFAT"},
                                           {"StartLBASector", "2048"},
                                           {"MultiPartitions", "0"}});
    ASSERT_EQ(run.status, 0) << run.Log();
    EXPECT_EQ(run.statuses.back(), "All done") << run.Log();
    EXPECT_EQ(disk.MountPoint(5), "") << "the logical partition is let go";
    disk.Unmount();
    ExpectTable(disk, {{2048, disk.sectors() - 2048, "7", true}});
    ExpectFileSystem(disk.Partition(1), "exFAT");
    ExpectCheckPasses(disk.Partition(1), "exFAT");
}

TEST_F(FormatWorkflow, RefusalsLeaveTheDiskAsItWas) {
    LoopDisk& disk = NewDisk(96);
    ASSERT_TRUE(disk.attached());
    const uint64_t before = disk.Hash();
    const std::string fileSystemError = "Error : Select FileSystem : FAT32-LBA Or exFAT only!";
    const std::string noLetter =
        "Error : Can't copy Boot Data Set Files - Dest Disk Don't Have a Letter!";
    auto answers = [](std::vector<ui::Answer> script) {
        return [script](ScriptedToolkit& toolkit) { toolkit.Answer(script, ui::Answer::Ok); };
    };
    struct Refusal {
        const char* what;
        Settings settings;
        std::vector<ui::Answer> script;
        size_t boxes;
        std::string status;  // shown instead of any writing, as the last text
    };
    const Refusal refusals[] = {
        {"Clover with NTFS",
         {{"Boot_records", "Clover"}, {"FileSystem", "NTFS"}},
         {},
         1,
         fileSystemError},
        {"Clover with UDF",
         {{"Boot_records", "Clover"}, {"FileSystem", "UDF"}},
         {},
         1,
         fileSystemError},
        {"not-USB question answered Cancel",
         {{"Boot_records", "Clover"}},
         {ui::Answer::Cancel},
         1,
         ""},
        {"confirmation answered Cancel",
         {{"Boot_records", "Windows"}, {"FileSystem", "NTFS"}},
         {ui::Answer::Ok, ui::Answer::Cancel},
         2,
         ""},
        {"Not_Format without a letter", {{"Boot_records", "Not_Format"}}, {}, 1, noLetter},
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.what);
        Settings settings = {{"MultiPartitions", "0"}};
        settings.insert(settings.end(), r.settings.begin(), r.settings.end());
        RunResult run = Format(disk.device(), settings, answers(r.script));
        EXPECT_EQ(run.boxes.size(), r.boxes) << run.Log();
        if (!r.status.empty()) {
            ASSERT_FALSE(run.statuses.empty());
            EXPECT_EQ(run.statuses.back(), r.status) << run.Log();
        }
        EXPECT_FALSE(run.Showed("All done")) << run.Log();
        EXPECT_NE(run.status, 0) << run.Log();
        EXPECT_FALSE(run.Showed("Create PartitionTable")) << run.Log();
        EXPECT_EQ(disk.Hash(), before);
    }

    // A boot partition larger than the disk.
    RunResult run = Format(disk.device(), {{"MultiPartitions", "1"}, {"BootPartitionSize", "200"}});
    EXPECT_FALSE(run.Showed("All done")) << run.Log();
    EXPECT_FALSE(run.Showed("Create PartitionTable")) << run.Log();
    EXPECT_EQ(disk.Hash(), before);
}

TEST_F(FormatWorkflow, NotFormatWithALetterOnlyAsks) {
    if (!HasProgram("mount.exfat-fuse")) GTEST_SKIP() << "exfat-fuse is not installed";
    LoopDisk& disk = NewDisk(96);
    ASSERT_TRUE(disk.attached());
    std::string output, folder = scratch.file("mounted");
    std::filesystem::create_directories(folder);
    ASSERT_EQ(RunTool({"mkfs.exfat", disk.Partition(1)}, &output), 0) << output;
    ASSERT_EQ(RunTool({"mount.exfat-fuse", disk.Partition(1), folder}, &output), 0) << output;
    const uint64_t before = disk.Hash();

    RunResult run = Format(disk.device(), {{"Boot_records", "Not_Format"}});
    ASSERT_EQ(run.boxes.size(), 2u) << run.Log();
    EXPECT_NE(run.boxes[1].text.find("(" + folder + ")\r\nWILL BE DESTROYED."), std::string::npos)
        << run.boxes[1].text;
    EXPECT_NE(run.boxes[1].text.find("Task:\tNot Format\r\n"), std::string::npos);
    EXPECT_TRUE(run.Showed("All done")) << run.Log();
    EXPECT_EQ(disk.MountPoint(1), folder);
    EXPECT_EQ(disk.Hash(), before);
}

TEST_F(FormatWorkflow, APartitionInUseStopsTheRunBeforeAnyWrite) {
    if (!HasProgram("mount.exfat-fuse")) GTEST_SKIP() << "exfat-fuse is not installed";
    LoopDisk& disk = NewDisk(96);
    ASSERT_TRUE(disk.attached());
    std::string output, folder = scratch.file("busy");
    std::filesystem::create_directories(folder);
    ASSERT_EQ(RunTool({"mkfs.exfat", disk.Partition(1)}, &output), 0) << output;
    const Settings settings = {
        {"Boot_records", "Clover"}, {"FileSystem", "exFAT"}, {"MultiPartitions", "0"}};
    auto expectUntouched = [&](const RunResult& run, uint64_t before) {
        EXPECT_FALSE(run.Showed("Create PartitionTable")) << run.Log();
        EXPECT_FALSE(run.Showed("All done")) << run.Log();
        EXPECT_NE(run.status, 0);
        sync();
        EXPECT_EQ(disk.Hash(), before);
    };
    {
        SCOPED_TRACE("a file open on its mounted volume");
        ASSERT_EQ(RunTool({"mount.exfat-fuse", disk.Partition(1), folder}, &output), 0) << output;
        test::WriteFile(folder + "/open.txt", "in use");
        int open = ::open((folder + "/open.txt").c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(open, 0);
        sync();
        const uint64_t before = disk.Hash();
        RunResult run = Format(disk.device(), settings);
        EXPECT_TRUE(run.Showed("Error open volume " + folder + " for write&lock")) << run.Log();
        EXPECT_EQ(disk.MountPoint(1), folder);
        expectUntouched(run, before);
        ::close(open);
        disk.Unmount();
    }
    {
        SCOPED_TRACE("held exclusively, mounted nowhere");
        int held = ::open(disk.Partition(1).c_str(), O_RDONLY | O_EXCL | O_CLOEXEC);
        ASSERT_GE(held, 0);
        const uint64_t before = disk.Hash();
        RunResult run = Format(disk.device(), settings);
        EXPECT_TRUE(std::any_of(run.statuses.begin(), run.statuses.end(), [](const std::string& s) {
            return s.starts_with("Error opening the Disk") && s.ends_with(" for write&lock");
        })) << run.Log();
        expectUntouched(run, before);
        ::close(held);
    }
}

// The disk that holds /, or "" when / is on no disk (an overlay, a network).
std::string RootDisk() {
    std::string output;
    if (RunTool({"findmnt", "-n", "-o", "MAJ:MIN", "/"}, &output) != 0) return "";
    std::istringstream fields(output);
    std::string number;
    fields >> number;
    std::error_code error;
    auto block = std::filesystem::canonical("/sys/dev/block/" + number, error);
    if (error) return "";
    if (std::filesystem::exists(block / "partition")) block = block.parent_path();
    std::string device = "/dev/" + block.filename().string();
    return std::filesystem::exists(device) ? device : "";
}

TEST_F(FormatWorkflow, TheSystemDiskIsRefusedBeforeAnyQuestion) {
    std::string root = RootDisk();
    if (root.empty()) GTEST_SKIP() << "/ lies on no disk";
    // Every question is answered Cancel: nothing could be written even past a broken guard.
    RunResult run = Format(root, {{"Boot_records", "Clover"}}, [](ScriptedToolkit& toolkit) {
        toolkit.Answer({}, ui::Answer::Cancel);
    });
    ASSERT_EQ(run.boxes.size(), 1u) << root << "\n" << run.Log();
    EXPECT_EQ(run.boxes[0].title, "Error");
    EXPECT_EQ(run.boxes[0].text, "Sorry, operation not permitted!\r\nYou selected a System Drive.");
    EXPECT_FALSE(run.Showed("Create PartitionTable"));
}

// Presses "Format Cancel" through the main loop once the status line shows `when`; the
// worker waits until the press has been taken.
std::function<void(ScriptedToolkit&)> CancelWhen(const std::string& when) {
    return [when](ScriptedToolkit& toolkit) {
        auto pressed = std::make_shared<std::atomic<bool>>(false);
        toolkit.OnStatus([&toolkit, when, pressed](const std::string& status) {
            if (*pressed || !status.starts_with(when)) return;
            *pressed = true;
            toolkit.PostEvent(
                ui::Event{ui::EventKind::Control, core::MainWindow, core::FormatButton});
            for (int i = 0; i < 500 && core::CancelFlag == 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        });
    };
}

TEST_F(FormatWorkflow, FormatCancelLeavesTheNewTableAndNoFileSystem) {
    struct Case {
        const char* when;
        const char* quick;
        bool cleared;  // the old structures at the end of the disk are gone
    };
    // While the full format clears the volume, and while the old structures are cleared.
    for (const Case& c :
         {Case{"Formatting: ", "0", true}, Case{"Clearing MBR/GPT structures", "1", false}}) {
        SCOPED_TRACE(c.when);
        LoopDisk& disk = NewDisk(kDiskMiB);
        ASSERT_TRUE(disk.attached());
        RunResult run = Format(disk.device(),
                               {{"Boot_records", "Clover"},
                                {"FileSystem", "FAT32-LBA"},
                                {"StartLBASector", "2048"},
                                {"MultiPartitions", "0"},
                                {"QuickFormat", c.quick}},
                               CancelWhen(c.when), true);
        EXPECT_FALSE(run.Showed("All done")) << run.Log();
        EXPECT_NE(run.status, 0) << run.Log();
        EXPECT_FALSE(run.Showed("Creating file system")) << run.Log();
        EXPECT_TRUE(run.statuses.back().starts_with(
            c.quick == std::string("0") ? "Formatting: " : "Formatting Drive "))
            << run.Log();
        EXPECT_EQ(ui::UI().GetText(core::FormatButton), "Format Disk");
        EXPECT_TRUE(ui::UI().ControlEnabled(core::DriveTree));
        EXPECT_GT(ui::UI().ItemCount(core::DriveTree), 0);
        EXPECT_EQ(core::BusyFlag + core::CancelFlag + core::TransferCancelFlag, 0);

        disk.Unmount();
        std::vector<SfdiskEntry> expected = {{2048, disk.sectors() - 2048, "6", true}};
        ExpectTable(disk, expected);
        ExpectMbr(disk, BootImage::Boot0, expected);
        EXPECT_EQ(Blkid(disk.Partition(1), "TYPE"), "");
        EXPECT_EQ(AllZero(disk.Read(disk.sectors() - 1, 1)), c.cleared);
    }
}

// Whether the disks follow each other by number, with no loop device of someone else
// between them that a renumbering could hand to the run.
bool Neighbours(const std::vector<const LoopDisk*>& disks) {
    int first = std::stoi(disks.front()->device().substr(9));
    int last = std::stoi(disks.back()->device().substr(9));
    for (int n = first; n <= last; ++n) {
        bool ours = std::any_of(disks.begin(), disks.end(), [&](const LoopDisk* disk) {
            return disk->device() == "/dev/loop" + std::to_string(n);
        });
        if (!ours && std::filesystem::exists("/sys/block/loop" + std::to_string(n) + "/loop"))
            return false;
    }
    return true;
}

// Detaches the disk once the status line shows `when`.
std::function<void(ScriptedToolkit&)> DetachWhen(LoopDisk& disk, const std::string& when) {
    return [&disk, when](ScriptedToolkit& toolkit) {
        toolkit.OnStatus([&disk, when](const std::string& status) {
            if (status.starts_with(when)) disk.Detach();
        });
    };
}

const Settings kExFatFullFormat = {{"Boot_records", "Clover"},
                                   {"FileSystem", "exFAT"},
                                   {"MultiPartitions", "0"},
                                   {"QuickFormat", "0"}};

// After the target was unplugged: the run ended with a status and without "All done",
// and the disk numbered after it stays as it was.
void ExpectUnplugEndsTheRun(LoopDisk& disk, LoopDisk& bystander, const RunResult& run,
                            uint64_t untouched) {
    EXPECT_FALSE(disk.attached());
    EXPECT_FALSE(run.Showed("All done")) << run.Log();
    EXPECT_FALSE(run.statuses.empty());
    EXPECT_EQ(ui::UI().GetText(core::FormatButton), "Format Disk");
    EXPECT_EQ(core::BusyFlag.load(), 0);
    EXPECT_EQ(bystander.Hash(), untouched) << bystander.device() << "\n" << run.Log();
}

TEST_F(FormatWorkflow, UnpluggedWhileTheTableIsWritten) {
    LoopDisk& disk = NewDisk(kDiskMiB);
    LoopDisk& bystander = NewDisk(96);
    ASSERT_TRUE(disk.attached() && bystander.attached());
    if (!Neighbours({&disk, &bystander})) GTEST_SKIP() << "a foreign loop device lies between";
    const uint64_t untouched = bystander.Hash();
    RunResult run =
        Format(disk.device(), kExFatFullFormat, DetachWhen(disk, "Create PartitionTable"));
    ExpectUnplugEndsTheRun(disk, bystander, run, untouched);
}

TEST_F(FormatWorkflow, UnpluggedWhileFormatting) {
    LoopDisk& disk = NewDisk(kDiskMiB);
    LoopDisk& bystander = NewDisk(96);
    ASSERT_TRUE(disk.attached() && bystander.attached());
    if (!Neighbours({&disk, &bystander})) GTEST_SKIP() << "a foreign loop device lies between";
    const uint64_t untouched = bystander.Hash();
    RunResult run = Format(disk.device(), kExFatFullFormat, DetachWhen(disk, "Formatting Drive "));
    ExpectUnplugEndsTheRun(disk, bystander, run, untouched);
}

TEST_F(FormatWorkflow, AnotherDiskUnpluggedMidRunLeavesTheRestAlone) {
    // A disk numbered before the target goes while the table is written: the numbers of
    // the target and of the disk after it change.
    LoopDisk& other = NewDisk(96);
    LoopDisk& disk = NewDisk(kDiskMiB);
    LoopDisk& bystander = NewDisk(96);
    ASSERT_TRUE(other.attached() && disk.attached() && bystander.attached());
    if (!Neighbours({&other, &disk, &bystander}))
        GTEST_SKIP() << "a foreign loop device lies between";
    const uint64_t untouched = bystander.Hash();
    RunResult run =
        Format(disk.device(), kExFatFullFormat, DetachWhen(other, "Create PartitionTable"));
    EXPECT_FALSE(other.attached());
    EXPECT_EQ(bystander.Hash(), untouched) << run.Log();
    // Disk numbers stay with their disks: the run goes on with its own disk to the end.
    EXPECT_EQ(run.status, 0) << run.Log();
    EXPECT_EQ(run.statuses.back(), "All done") << run.Log();
    disk.Unmount();
    EXPECT_EQ(Blkid(disk.Partition(1), "TYPE"), "exfat") << run.Log();
    ExpectCheckPasses(disk.Partition(1), "exFAT");
}

}  // namespace
}  // namespace format_test
