// Sticks made by "Format Disk" start in UEFI firmware: OVMF in QEMU finds the data set's
// EFI/BOOT/BOOTX64.efi (the GRUB self-test loader, which names the path it was started
// from) on partition 1, from USB and from a fixed disk, on 512- and 4096-byte sectors,
// for the default layout and for starts 2048 and 8192. QEMU's SATA disks have 512-byte
// sectors only, so the 4096-byte fixed disk is an NVMe one.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <future>

#include "core/state.h"
#include "tests/format/format_disk.h"
#include "tests/qemu/boot_disk.h"
#include "tests/qemu/qemu_boot.h"
#include "tests/zip_fixture.h"

namespace format_test {
namespace {

using test::Attach;
using test::QemuBoot;
using test::QemuResult;

constexpr int kBootedStatus = 33;  // the self-test loader's exit through port 0xF4
const std::string kStarted = "Stickforge UEFI boot OK from (hd0,msdos1)/EFI/BOOT";

std::filesystem::path BootFile(const char* name) {
    return std::filesystem::path(STICKFORGE_BOOT_DIR) / name;
}

std::string FileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct UefiCase {
    const char* name;
    uint32_t sectorBytes;
    Settings layout;  // over the defaults
    std::vector<Attach> boots;
};

// A FAT32 volume needs 65,525 clusters; on 4096-byte sectors that is more than the
// default boot partition of 200 MB holds.
const UefiCase kCases[] = {
    {"DefaultLayout", 512, {}, {Attach::UsbStick, Attach::FirstDisk}},
    {"Start2048", 512, {{"StartLBASector", "2048"}}, {Attach::UsbStick, Attach::FirstDisk}},
    {"Start8192OnePartition",
     512,
     {{"StartLBASector", "8192"}, {"MultiPartitions", "0"}},
     {Attach::UsbStick, Attach::FirstDisk}},
    {"Start2048On4096ByteSectors",
     4096,
     {{"StartLBASector", "2048"}, {"BootPartitionSize", "300"}},
     {Attach::UsbStick, Attach::Nvme}},
    {"Start8192OnePartitionOn4096ByteSectors",
     4096,
     {{"StartLBASector", "8192"}, {"MultiPartitions", "0"}},
     {Attach::UsbStick}},
};

void PrintTo(const UefiCase& c, std::ostream* out) { *out << c.name; }

class FormatUefi : public FormatFixture {
protected:
    void SetUp() override {
        FormatFixture::SetUp();
        if (IsSkipped()) return;
        for (const char* tool : {"qemu-system-x86_64", "timeout"})
            if (!HasProgram(tool)) GTEST_SKIP() << tool << " is not installed";
        std::string missing = test::UefiBootMissing(STICKFORGE_BOOT_DIR);
        if (!missing.empty()) GTEST_SKIP() << missing;
    }

    // A local data set with the UEFI loader and the legacy boot file.
    std::string DataSet() {
        std::string archive = scratch.file("CloverV2-4321.zip");
        EXPECT_TRUE(test::WriteZip(
            archive, {{"EFI/BOOT/BOOTX64.efi", FileBytes(BootFile("selftest_bootx64.efi"))},
                      {"EFI/CLOVER/config.plist", "<plist/>"},
                      {"boot", FileBytes(BootFile("selftest_boot"))}}));
        return archive;
    }
};

class FormatUefiLayouts : public FormatUefi, public ::testing::WithParamInterface<UefiCase> {};

TEST_P(FormatUefiLayouts, StickStartsItsEfiLoader) {
    const UefiCase& c = GetParam();
    std::string archive = DataSet();
    LoopDisk& disk = NewDisk(c.sectorBytes == 512 ? 320 : 512, c.sectorBytes);
    ASSERT_TRUE(disk.attached()) << disk.error();
    Settings settings = c.layout;
    settings.push_back({"InstallDataSet", "Local"});
    RunResult run = Format(disk.device(), settings,
                           [&](ScriptedToolkit&) { core::LocalArchivePath = archive; });
    ASSERT_EQ(run.status, 0) << run.Log();
    ASSERT_TRUE(run.Showed("Data set files of Clover Installed")) << run.Log();
    disk.Unmount();
    std::string output;
    EXPECT_EQ(RunTool({"fsck.fat", "-n", disk.Partition(1)}, &output), 0) << output;
    ASSERT_TRUE(disk.Detach());

    // The machines share the image (each boots a snapshot of it), so they run side by side.
    std::vector<std::future<QemuResult>> boots;
    for (Attach attach : c.boots)
        boots.push_back(std::async(std::launch::async, [&, attach] {
            return test::BootInQemu(disk.image(),
                                    QemuBoot().InUefi().As(attach).WithSectorsOf(c.sectorBytes));
        }));
    for (size_t i = 0; i < boots.size(); ++i) {
        QemuResult boot = boots[i].get();
        SCOPED_TRACE(c.boots[i] == Attach::UsbStick ? "USB" : "fixed disk");
        EXPECT_EQ(boot.status, kBootedStatus) << boot.serial;
        EXPECT_NE(boot.serial.find(kStarted), std::string::npos) << boot.serial;
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, FormatUefiLayouts, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace format_test

namespace format_test {
namespace {

// FAT32 needs 65,525 clusters, and a cluster is at least a sector: on 4096-byte sectors
// the default boot partition of 200 MB is too small for it. Firmware, like every FAT
// driver, takes such a volume for FAT16 and finds no files, so the format fails as the
// Windows format service does, and nothing is installed.
TEST_F(FormatUefi, DefaultLayoutOn4096ByteSectorsIsTooSmallForFat32) {
    std::string archive = DataSet();
    LoopDisk& disk = NewDisk(512, 4096);
    ASSERT_TRUE(disk.attached()) << disk.error();
    RunResult run = Format(disk.device(), {{"InstallDataSet", "Local"}},
                           [&](ScriptedToolkit&) { core::LocalArchivePath = archive; });
    EXPECT_NE(run.status, 0) << run.Log();
    EXPECT_TRUE(run.Showed("Volume is too small")) << run.Log();
    EXPECT_FALSE(run.Showed("Data set files of Clover Installed")) << run.Log();
    EXPECT_FALSE(run.Showed("All done")) << run.Log();
}

}  // namespace
}  // namespace format_test
