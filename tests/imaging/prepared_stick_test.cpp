// The flow the Recovery HD feature exists for, in one process as a user of the window
// runs it (root): "Format Disk" with the default layout and a data set, then "Restore
// Partition" of an image onto partition 2, nothing unmounted in between. Partition 1
// stays mounted after the format, where a driver can read it, as a drive letter stays.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

#include "cli/imaging_verbs.h"
#include "core/ids.h"
#include "core/state.h"
#include "tests/format/format_disk.h"
#include "tests/zip_fixture.h"

namespace format_test {
namespace {

struct Case {
    const char* name;
    const char* fileSystem;
    const char* fsck;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

std::vector<uint8_t> Pattern(size_t bytes) {
    std::vector<uint8_t> data(bytes);
    std::mt19937 random(42);
    for (uint8_t& byte : data) byte = uint8_t(random());
    return data;
}

std::string FileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class PreparedStick : public FormatFixture, public ::testing::WithParamInterface<Case> {};

TEST_P(PreparedStick, RestoresOntoPartitionTwoRightAfterTheFormat) {
    const Case& c = GetParam();
    const std::string fileSystem = c.fileSystem;
    if (fileSystem == "exFAT" && !HasProgram("mount.exfat-fuse"))
        GTEST_SKIP() << "exfat-fuse is not installed";
    std::string archive = scratch.file("CloverV2-4321.zip");
    std::string boot = FileText(std::filesystem::path(STICKFORGE_BOOT_DIR) / "selftest_boot");
    ASSERT_TRUE(test::WriteZip(
        archive, {{"EFI/", "", true}, {"EFI/CLOVER/config.plist", "<plist/>"}, {"boot", boot}}));
    LoopDisk& disk = NewDisk(320);
    ASSERT_TRUE(disk.attached()) << disk.error();

    // The default layout: a 200 MB boot partition, the rest of the disk behind it.
    RunResult format = Format(
        disk.device(), {{"FileSystem", c.fileSystem}, {"InstallDataSet", "Local"}},
        [&](ScriptedToolkit&) { core::LocalArchivePath = archive; }, true);
    ASSERT_EQ(format.status, 0) << format.Log();
    ASSERT_TRUE(format.Showed("Data set files of Clover Installed")) << format.Log();
    ASSERT_EQ(format.statuses.back(), "All done") << format.Log();
    const std::string mounted = disk.MountPoint(1);
    if (fileSystem == "exFAT") {
        ASSERT_FALSE(mounted.empty()) << "partition 1 is to stay mounted after the format";
    } else if (mounted.empty()) {
        std::cout << "[   NOTE   ] this kernel has no vfat: FAT32 partition 1 is an mtools "
                     "volume, mounted nowhere, so its mount is not in the restore's way here\n";
    }
    std::vector<uint8_t> mbr = disk.Read(0, 1);
    const int64_t start = Le32(mbr, 446 + 16 + 8), sectors = Le32(mbr, 446 + 16 + 12);
    std::vector<uint8_t> image = Pattern(size_t(20 << 20) + 3 * 512);
    const int64_t imageSectors = int64_t(image.size() / 512);
    ASSERT_GT(sectors, imageSectors);
    std::ofstream(scratch.file("recovery.hfs"), std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));

    auto& toolkit = static_cast<ScriptedToolkit&>(ui::UI());
    toolkit.Answer({}, ui::Answer::Yes);
    toolkit.SetFileAnswer(scratch.file("recovery.hfs"));
    size_t shown = toolkit.StatusLines().size();
    int line = cli::FindPartitionLine(disk.device(), 2);
    ASSERT_GE(line, 0);
    PressInMainLoop(line, core::RestoreButton);
    std::vector<std::string> restore = toolkit.StatusLines();
    restore.erase(restore.begin(), restore.begin() + long(shown));
    std::string log;
    for (const std::string& status : restore) log += "  " + status + "\n";
    EXPECT_TRUE(std::any_of(restore.begin(), restore.end(), [](const std::string& status) {
        return status.starts_with("20 MB/20 MB ") && status.ends_with(" Done");
    })) << log;

    EXPECT_EQ(disk.Read(start, imageSectors), image);
    mbr = disk.Read(0, 1);
    EXPECT_EQ(mbr[446 + 16 + 4], 0xAF);
    EXPECT_EQ(Le32(mbr, 446 + 16 + 12), uint32_t(imageSectors));
    // Partition 1 is given back as it was, with its data set.
    EXPECT_EQ(disk.MountPoint(1), mounted);
    std::string output;
    if (!mounted.empty()) {
        EXPECT_EQ(FileText(std::filesystem::path(mounted) / "boot"), boot);
    } else {
        EXPECT_EQ(RunTool({"mdir", "-i", disk.Partition(1), "-b", "::/boot"}, &output), 0)
            << output;
    }
    disk.Unmount();
    EXPECT_EQ(RunTool({c.fsck, "-n", disk.Partition(1)}, &output), 0) << output;
}

INSTANTIATE_TEST_SUITE_P(FileSystems, PreparedStick,
                         ::testing::Values(Case{"Fat32Lba", "FAT32-LBA", "fsck.fat"},
                                           Case{"ExFat", "exFAT", "fsck.exfat"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace format_test
