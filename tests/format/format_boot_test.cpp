// Disks made by "Format Disk" boot in QEMU: the self-test boot file put on partition 1
// after the run is started by each set's MBR and partition boot record.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "core/state.h"
#include "tests/format/format_disk.h"
#include "tests/qemu/boot_disk.h"
#include "tests/qemu/qemu_boot.h"
#include "tests/zip_fixture.h"

namespace format_test {
namespace {

using test::BootInQemu;
using test::QemuBoot;
using test::QemuResult;

const std::string kMarker = "Stickforge boot chain OK";
constexpr int kBootedStatus = 33;  // the self-test boot file's exit through port 0xF4

std::filesystem::path SelfTest(const char* name) {
    return std::filesystem::path(STICKFORGE_BOOT_DIR) / name;
}

bool Shows(const QemuResult& run, const std::string& text) {
    return run.serial.find(text) != std::string::npos;
}

void ExpectBooted(const QemuResult& run) {
    EXPECT_EQ(run.status, kBootedStatus) << run.serial;
    EXPECT_TRUE(Shows(run, kMarker)) << run.serial;
}

class FormatBoot : public FormatFixture {
protected:
    void SetUp() override {
        FormatFixture::SetUp();
        if (IsSkipped()) return;
        for (const char* tool : {"qemu-system-x86_64", "timeout"})
            if (!HasProgram(tool)) GTEST_SKIP() << tool << " is not installed";
    }

    // Formats a fresh disk with the settings; partition 1 left unmounted.
    LoopDisk* Formatted(const Settings& settings) {
        LoopDisk& disk = NewDisk(96);
        if (!disk.attached()) return nullptr;
        RunResult run = Format(disk.device(), settings);
        EXPECT_EQ(run.status, 0) << run.Log();
        if (run.status != 0) return nullptr;
        return &disk;
    }

    static void CopyToFat(const LoopDisk& disk, const char* file, const std::string& name) {
        disk.Unmount();
        std::string output;
        EXPECT_EQ(RunTool({"mcopy", "-i", disk.Partition(1), SelfTest(file).string(), "::" + name},
                          &output),
                  0)
            << output;
        EXPECT_EQ(RunTool({"fsck.fat", "-n", disk.Partition(1)}, &output), 0) << output;
    }
};

TEST_F(FormatBoot, CloverFat32LbaStartsBootFromIde) {
    LoopDisk* disk = Formatted({{"Boot_records", "Clover"},
                                {"FileSystem", "FAT32-LBA"},
                                {"StartLBASector", "2048"},
                                {"MultiPartitions", "0"}});
    ASSERT_TRUE(disk);
    CopyToFat(*disk, "selftest_boot", "boot");
    ASSERT_TRUE(disk->Detach());
    ExpectBooted(BootInQemu(disk->image(), QemuBoot()));
}

TEST_F(FormatBoot, CloverExFatStartsBootFromUsb) {
    LoopDisk* disk = Formatted({{"Boot_records", "Clover"},
                                {"FileSystem", "exFAT"},
                                {"StartLBASector", "4096"},
                                {"MultiPartitions", "1"},
                                {"BootPartitionSize", "64"}});
    ASSERT_TRUE(disk);
    // Through the volume's mount as the program left it, else mounted here.
    std::string folder = disk->MountPoint(1), output;
    if (folder.empty()) {
        if (!HasProgram("mount.exfat-fuse")) GTEST_SKIP() << "exfat-fuse is not installed";
        folder = scratch.file("volume");
        std::filesystem::create_directories(folder);
        ASSERT_EQ(RunTool({"mount.exfat-fuse", disk->Partition(1), folder}, &output), 0) << output;
    }
    std::filesystem::copy_file(SelfTest("selftest_boot"), std::filesystem::path(folder) / "boot");
    disk->Unmount();
    EXPECT_EQ(RunTool({"fsck.exfat", "-n", disk->Partition(1)}, &output), 0) << output;
    ASSERT_TRUE(disk->Detach());

    QemuResult run = BootInQemu(disk->image(), QemuBoot().AsUsbStick());
    EXPECT_TRUE(Shows(run, "boot1x: init")) << run.serial;
    ExpectBooted(run);
}

// exFAT counts in the disk's 4096-byte sectors; both halves of the loader lie in the
// volume's first sector.
TEST_F(FormatBoot, CloverExFatStartsBootOnFourKilobyteSectors) {
    if (!HasProgram("mount.exfat-fuse")) GTEST_SKIP() << "exfat-fuse is not installed";
    LoopDisk& disk = NewDisk(96, 4096);
    ASSERT_TRUE(disk.attached()) << disk.error();
    RunResult format = Format(disk.device(), {{"Boot_records", "Clover"},
                                              {"FileSystem", "exFAT"},
                                              {"StartLBASector", "2048"},
                                              {"MultiPartitions", "0"}});
    ASSERT_EQ(format.status, 0) << format.Log();
    std::string folder = disk.MountPoint(1), output;
    ASSERT_FALSE(folder.empty()) << "the program mounts partition 1";
    std::filesystem::copy_file(SelfTest("selftest_boot"), std::filesystem::path(folder) / "boot");
    disk.Unmount();
    EXPECT_EQ(RunTool({"fsck.exfat", "-n", disk.Partition(1)}, &output), 0) << output;
    ASSERT_TRUE(disk.Detach());

    QemuResult run =
        BootInQemu(disk.image(),
                   QemuBoot().As(test::Attach::Nvme).WithSectorsOf(4096).StopAt("boot1x: error"));
    EXPECT_TRUE(Shows(run, "boot1x: init")) << run.serial;
    ExpectBooted(run);
}

TEST_F(FormatBoot, XpcStartsEfildr20) {
    // exFAT asked for, FAT32-LBA made.
    LoopDisk* disk = Formatted({{"Boot_records", "XPC"},
                                {"FileSystem", "exFAT"},
                                {"StartLBASector", "63"},
                                {"MultiPartitions", "0"}});
    ASSERT_TRUE(disk);
    CopyToFat(*disk, "selftest_efildr20", "EFILDR20");
    ASSERT_TRUE(disk->Detach());
    QemuResult run = BootInQemu(disk->image(), QemuBoot());
    EXPECT_TRUE(Shows(run, "EFILDR20 first sector")) << run.serial;
    ExpectBooted(run);
}

TEST_F(FormatBoot, WindowsStartsTheFormatServiceBootSector) {
    LoopDisk* disk = Formatted({{"Boot_records", "Windows"},
                                {"FileSystem", "FAT32"},
                                {"StartLBASector", "8192"},
                                {"MultiPartitions", "0"}});
    ASSERT_TRUE(disk);
    ASSERT_TRUE(disk->Detach());
    QemuResult run = BootInQemu(disk->image(), QemuBoot().AsUsbStick().StopAt("try again"));
    EXPECT_TRUE(Shows(run, "Start booting from USB device...")) << run.serial;
    EXPECT_TRUE(Shows(run, "This is not a bootable disk")) << run.serial;  // mkfs.fat's
}

}  // namespace
}  // namespace format_test

namespace format_test {
namespace {

std::string FileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A Clover-like data set from the local repository: its files, the hidden markers and a
// boot through the installed `boot`.
TEST_F(FormatBoot, LocalDataSetIsInstalledAndBoots) {
    std::string archive = scratch.file("CloverV2-4321.zip");
    ASSERT_TRUE(test::WriteZip(archive, {{"EFI/", "", true},
                                         {"EFI/CLOVER/config.plist", "<plist/>"},
                                         {"EFI/CLOVER/kexts/Other/", "", true},
                                         {"boot", FileBytes(SelfTest("selftest_boot"))}}));
    LoopDisk& disk = NewDisk(96);
    ASSERT_TRUE(disk.attached()) << disk.error();
    RunResult run = Format(disk.device(),
                           {{"Boot_records", "Clover"},
                            {"FileSystem", "FAT32-LBA"},
                            {"MultiPartitions", "0"},
                            {"InstallDataSet", "Local"}},
                           [&](ScriptedToolkit&) { core::LocalArchivePath = archive; });
    ASSERT_EQ(run.status, 0) << run.Log();
    EXPECT_TRUE(run.Showed("Data set files of Clover Installed")) << run.Log();
    disk.Unmount();
    std::string listing;
    EXPECT_EQ(RunTool({"mdir", "-i", disk.Partition(1), "-/", "-a", "-b", "::/"}, &listing), 0);
    for (const char* path : {"::/boot", "::/EFI/CLOVER/config.plist", "::/EFI/CLOVER/kexts/Other/",
                             "::/.metadata_never_index", "::/.fseventsd/no_log"})
        EXPECT_NE(listing.find(path), std::string::npos) << path << "\n" << listing;
    std::string attributes;
    RunTool({"mattrib", "-i", disk.Partition(1), "::/.metadata_never_index", "::/.fseventsd"},
            &attributes);
    EXPECT_EQ(std::count(attributes.begin(), attributes.end(), 'H'), 2) << attributes;
    std::string output;
    EXPECT_EQ(RunTool({"fsck.fat", "-n", disk.Partition(1)}, &output), 0) << output;
    ASSERT_TRUE(disk.Detach());
    ExpectBooted(BootInQemu(disk.image(), QemuBoot()));
}

}  // namespace
}  // namespace format_test
