// The boot chains in QEMU: our MBR and partition boot records on disk images made here,
// started by SeaBIOS as the first IDE disk or as a USB stick. The self-test boot files
// print "Stickforge boot chain OK" and the drive, and end QEMU with status 33 once they
// have checked that the whole file arrived.

#include <gtest/gtest.h>

#include <optional>
#include <random>

#include "prepare/boot_images.h"
#include "tests/qemu/boot_disk.h"
#include "tests/qemu/qemu_boot.h"

namespace {

using prepare::BootImage;
using prepare::BootImageBytes;
using test::BootInQemu;
using test::DiskImage;
using test::Partition;
using test::QemuBoot;
using test::QemuResult;

constexpr uint32_t kDiskSectors = 131072;  // 64 MiB
constexpr uint32_t kStart = 2048;
constexpr uint8_t kActive = 0x80;
constexpr uint8_t kFat32 = 0x0C, kExFat = 0x07, kHfsPlus = 0xAF;
constexpr int kBootedStatus = 33;  // (0x10 << 1) | 1 from the self-test boot file
const std::string kMarker = "Stickforge boot chain OK";
const std::string kSeaBiosBoots = "Booting from Hard Disk";
const std::string kExFatError = "boot1x: error";

class BootChain : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"qemu-system-x86_64", "timeout", "mkfs.fat", "fsck.fat", "mcopy",
                                 "mdel", "mkfs.exfat", "fsck.exfat"})
            if (test::FindProgram(tool).empty()) GTEST_SKIP() << tool << " is not installed";
        std::random_device random;
        scratch_ = std::filesystem::temp_directory_path() /
                   ("stickforge-qemu-" + std::to_string(random()) + std::to_string(random()));
        std::filesystem::create_directories(scratch_);
    }
    void TearDown() override {
        std::error_code error;
        if (!scratch_.empty()) std::filesystem::remove_all(scratch_, error);
    }

    DiskImage NewDisk(BootImage mbr, const std::vector<Partition>& partitions) {
        DiskImage disk(scratch_ / "disk.img", kDiskSectors);
        test::WriteMbr(disk, BootImageBytes(mbr), partitions);
        return disk;
    }
    // A FAT32 partition over the rest of the disk with the PBR image, if any.
    DiskImage Fat32Disk(BootImage mbr, const Partition& partition, std::optional<BootImage> pbr) {
        DiskImage disk = NewDisk(mbr, {partition});
        test::FormatFat32(disk, partition);
        if (pbr) test::InstallFat32BootRecord(disk, partition.start, BootImageBytes(*pbr));
        return disk;
    }
    // An exFAT partition with boot1xalt.
    DiskImage ExFatDisk(BootImage mbr, const Partition& partition, uint32_t cluster_bytes) {
        DiskImage disk = NewDisk(mbr, {partition});
        test::FormatExFat(disk, partition, cluster_bytes);
        test::InstallExFatBootRecord(disk, partition.start, BootImageBytes(BootImage::Boot1xalt));
        return disk;
    }

    static std::filesystem::path SelfTest(const char* name) {
        return std::filesystem::path(STICKFORGE_BOOT_DIR) / name;
    }
    static void ExpectBooted(const QemuResult& run) {
        EXPECT_EQ(run.status, kBootedStatus) << run.serial;
        EXPECT_NE(run.serial.find(kMarker), std::string::npos) << run.serial;
        EXPECT_NE(run.serial.find("drive=80"), std::string::npos) << run.serial;
    }
    static bool Shows(const QemuResult& run, const std::string& text) {
        return run.serial.find(text) != std::string::npos;
    }

    std::filesystem::path scratch_;
};

const Partition kWholeFat32{kActive, kFat32, kStart, kDiskSectors - kStart};
const Partition kWholeExFat{kActive, kExFat, kStart, kDiskSectors - kStart};

TEST_F(BootChain, Boot0Fat32LoaderRunsFragmentedBootFromIdeAndUsb) {
    DiskImage disk = Fat32Disk(BootImage::Boot0, kWholeFat32, BootImage::Boot1f32alt);
    test::FragmentFat(disk, kStart);
    test::CopyToFat(disk, kStart, SelfTest("selftest_boot"), "boot");
    ASSERT_GE(test::Fat32FileRuns(disk, kStart, "BOOT       "), 3) << "boot not fragmented";
    std::string fsck;
    EXPECT_EQ(test::CheckVolume(disk, kWholeFat32, "fsck.fat", &fsck), 0) << fsck;

    for (bool usb : {false, true}) {
        SCOPED_TRACE(usb ? "USB" : "IDE");
        ExpectBooted(BootInQemu(disk.path(), usb ? QemuBoot().AsUsbStick() : QemuBoot()));
    }
}

TEST_F(BootChain, Fat32LoaderHaltsWithoutBootAndLoadsBoot1OnKey1) {
    DiskImage disk = Fat32Disk(BootImage::Boot0, kWholeFat32, BootImage::Boot1f32alt);
    test::CopyToFat(disk, kStart, SelfTest("selftest_boot"), "BOOT1");

    QemuResult halted = BootInQemu(disk.path(), QemuBoot().Within(10));
    EXPECT_TRUE(Shows(halted, kSeaBiosBoots)) << halted.serial;
    EXPECT_FALSE(Shows(halted, kMarker)) << halted.serial;
    EXPECT_EQ(halted.status, -1);

    ExpectBooted(BootInQemu(disk.path(), QemuBoot().PressKeyAfter(kSeaBiosBoots, "1")));
}

TEST_F(BootChain, Boot0FindsExFatLoaderWithoutActiveEntry) {
    Partition exfat = kWholeExFat;
    exfat.status = 0;
    DiskImage disk = ExFatDisk(BootImage::Boot0, exfat, 512);
    auto boot = test::ReadBytes(SelfTest("selftest_boot"));
    test::WriteExFatFile(disk, kStart, "boot", boot, test::ExFatLayout::Fragmented);
    std::string fsck;
    EXPECT_EQ(test::CheckVolume(disk, exfat, "fsck.exfat", &fsck), 0) << fsck;

    QemuResult run = BootInQemu(disk.path(), QemuBoot());
    EXPECT_TRUE(Shows(run, "boot1x: init")) << run.serial;
    ExpectBooted(run);
}

TEST_F(BootChain, ExFatLoaderReadsLargeContiguousClustersFromUsb) {
    DiskImage disk = ExFatDisk(BootImage::Boot0, kWholeExFat, 65536);
    auto boot = test::ReadBytes(SelfTest("selftest_boot"));
    test::WriteExFatFile(disk, kStart, "BOOT", boot, test::ExFatLayout::Contiguous);
    std::string fsck;
    EXPECT_EQ(test::CheckVolume(disk, kWholeExFat, "fsck.exfat", &fsck), 0) << fsck;

    ExpectBooted(BootInQemu(disk.path(), QemuBoot().AsUsbStick()));
}

TEST_F(BootChain, ExFatLoaderReportsMissingOrOversizedBootAndLoadsBoot1OnKey1) {
    DiskImage disk = ExFatDisk(BootImage::Boot0, kWholeExFat, 4096);
    auto boot = test::ReadBytes(SelfTest("selftest_boot"));
    test::WriteExFatFile(disk, kStart, "boot1", boot, test::ExFatLayout::Fragmented);

    QemuResult missing = BootInQemu(disk.path(), QemuBoot().StopAt(kExFatError));
    EXPECT_TRUE(Shows(missing, "boot1x: init\r\nboot1x: error")) << missing.serial;

    // One byte more than fits between 0x20200 and the video memory.
    std::vector<uint8_t> oversized(523777, 0x90);
    test::WriteExFatFile(disk, kStart, "boot", oversized, test::ExFatLayout::Contiguous);
    QemuResult refused = BootInQemu(disk.path(), QemuBoot().StopAt(kExFatError));
    EXPECT_TRUE(Shows(refused, "boot1x: error")) << refused.serial;

    QemuResult chosen = BootInQemu(disk.path(), QemuBoot().PressKeyAfter("boot1x: init", "1"));
    ExpectBooted(chosen);
}

TEST_F(BootChain, UsbHddPlusStartsTwoSectorExFatLoaderFromOneSector) {
    // USB-HDD+ reads only the first sector; boot1xalt reads its second one itself.
    DiskImage disk = ExFatDisk(BootImage::UsbHddPlus, kWholeExFat, 4096);
    auto boot = test::ReadBytes(SelfTest("selftest_boot"));
    test::WriteExFatFile(disk, kStart, "boot", boot, test::ExFatLayout::Contiguous);

    QemuResult run = BootInQemu(disk.path(), QemuBoot().AsUsbStick());
    EXPECT_TRUE(Shows(run, "Start booting from USB device...")) << run.serial;
    ExpectBooted(run);
}

TEST_F(BootChain, Boot0PassesTheChosenEntryWhenNoneIsActive) {
    // Two partitions of loader types without a loader, then FAT32 with boot1f32alt whose
    // hidden sectors are 0: only the entry at DS:SI gives its start.
    const Partition exfat{0, kExFat, kStart, 2048}, hfs{0, kHfsPlus, 4096, 4096},
        fat32{0, kFat32, 8192, kDiskSectors - 8192};
    DiskImage disk = NewDisk(BootImage::Boot0, {exfat, hfs, fat32});
    test::FormatFat32(disk, fat32, false);
    test::InstallFat32BootRecord(disk, fat32.start, BootImageBytes(BootImage::Boot1f32alt));
    test::CopyToFat(disk, fat32.start, SelfTest("selftest_boot"), "boot");

    ExpectBooted(BootInQemu(disk.path(), QemuBoot()));
}

TEST_F(BootChain, Boot0FindsHfsPlusLoaderByItsVolumeHeader) {
    // A stand-in HFS+ loader: exit status 37 when DS:SI holds an entry of type 0xAF.
    const Partition fat32{0, kFat32, kStart, 2048}, hfs{0, kHfsPlus, 4096, 4096};
    DiskImage disk = NewDisk(BootImage::Boot0, {fat32, hfs});
    std::vector<uint8_t> loader(1536);
    const uint8_t code[] = {0x80, 0x7C, 0x04, 0xAF,  // cmp byte [si + 4], 0xAF
                            0x75, 0x04,              // jne bad
                            0xB0, 0x12,              // mov al, 0x12
                            0xEB, 0x02,              // jmp out
                            0xB0, 0x13,              // bad: mov al, 0x13
                            0xE6, 0xF4,              // out: out 0xF4, al
                            0xF4, 0xEB, 0xFD};       // hlt; jmp hlt
    std::copy(std::begin(code), std::end(code), loader.begin());
    loader[510] = 0x55;
    loader[511] = 0xAA;
    loader[1024] = 'H';
    loader[1025] = '+';
    disk.Write(hfs.start, loader);

    QemuResult run = BootInQemu(disk.path(), QemuBoot());
    EXPECT_EQ(run.status, 37) << run.serial;
}

TEST_F(BootChain, Boot0WithoutActiveEntryOrLoaderPrintsError) {
    const Partition fat32{0, kFat32, kStart, 2048}, exfat{0, kExFat, 4096, 2048},
        hfs{0, kHfsPlus, 6144, 4096};
    DiskImage disk = NewDisk(BootImage::Boot0, {fat32, exfat, hfs});

    QemuResult run = BootInQemu(disk.path(), QemuBoot().StopAt("boot0: error"));
    EXPECT_TRUE(Shows(run, "boot0: error")) << run.serial;
}

TEST_F(BootChain, UsbHddPlusStartsTheFormatServiceBootSectorOrFails) {
    DiskImage disk = Fat32Disk(BootImage::UsbHddPlus, kWholeFat32, std::nullopt);
    QemuResult run = BootInQemu(disk.path(), QemuBoot().AsUsbStick().StopAt("try again"));
    EXPECT_TRUE(Shows(run, "Start booting from USB device...")) << run.serial;
    EXPECT_TRUE(Shows(run, "This is not a bootable disk")) << run.serial;  // mkfs.fat's

    Partition inactive = kWholeFat32;
    inactive.status = 0;
    test::WriteMbr(disk, BootImageBytes(BootImage::UsbHddPlus), {inactive});
    QemuResult failed = BootInQemu(disk.path(), QemuBoot().AsUsbStick().StopAt("Boot failed"));
    EXPECT_TRUE(Shows(failed, "Start booting from USB device...\r\nBoot failed")) << failed.serial;
}

size_t Count(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// A flaky stick: the first read of each sector a loader needs fails once, and every loader
// resets the drive and reads the same sector again.
TEST_F(BootChain, EveryLoaderRetriesAFailedReadOfTheSameSector) {
    {
        SCOPED_TRACE("boot0, boot1f32alt and a fragmented boot");
        DiskImage disk = Fat32Disk(BootImage::Boot0, kWholeFat32, BootImage::Boot1f32alt);
        test::FragmentFat(disk, kStart);
        test::CopyToFat(disk, kStart, SelfTest("selftest_boot"), "boot");
        auto at = test::Fat32LoaderSectors(disk, kStart);
        ExpectBooted(BootInQemu(
            disk.path(),
            QemuBoot().FailFirstReadOf(kStart).FailFirstReadOf(at.root).FailFirstReadOf(at.fat)));
    }
    {
        SCOPED_TRACE("boot0 and boot1xalt, the root directory in a FAT chain");
        DiskImage disk = ExFatDisk(BootImage::Boot0, kWholeExFat, 512);
        auto boot = test::ReadBytes(SelfTest("selftest_boot"));
        test::WriteExFatFile(disk, kStart, "boot", boot, test::ExFatLayout::Fragmented);
        auto at = test::ExFatLoaderSectors(disk, kStart);
        ExpectBooted(BootInQemu(
            disk.path(),
            QemuBoot().FailFirstReadOf(kStart).FailFirstReadOf(at.fat).FailFirstReadOf(at.root)));
    }
    {
        SCOPED_TRACE("USB-HDD+, then boot1xalt reading its own second sector");
        DiskImage disk = ExFatDisk(BootImage::UsbHddPlus, kWholeExFat, 4096);
        auto boot = test::ReadBytes(SelfTest("selftest_boot"));
        test::WriteExFatFile(disk, kStart, "boot", boot, test::ExFatLayout::Contiguous);
        auto at = test::ExFatLoaderSectors(disk, kStart);
        QemuResult run = BootInQemu(disk.path(), QemuBoot()
                                                     .AsUsbStick()
                                                     .FailFirstReadOf(kStart)
                                                     .FailFirstReadOf(kStart + 1)
                                                     .FailFirstReadOf(at.root));
        ExpectBooted(run);
        // A retry that read sector 0 instead would start the MBR a second time.
        EXPECT_EQ(Count(run.serial, "Start booting from USB device..."), 1u) << run.serial;
    }
    {
        SCOPED_TRACE("Mbr.bin and Bs32.bin");
        DiskImage disk = Fat32Disk(BootImage::MbrBin, kWholeFat32, BootImage::Bs32Bin);
        test::CopyToFat(disk, kStart, SelfTest("selftest_efildr20"), "EFILDR20");
        auto at = test::Fat32LoaderSectors(disk, kStart);
        ExpectBooted(BootInQemu(
            disk.path(),
            QemuBoot().FailFirstReadOf(kStart).FailFirstReadOf(at.root).FailFirstReadOf(at.fat)));
    }
}

TEST_F(BootChain, MbrBinStartsBs32WhichRunsEfildr20) {
    DiskImage disk = Fat32Disk(BootImage::MbrBin, kWholeFat32, BootImage::Bs32Bin);
    test::CopyToFat(disk, kStart, SelfTest("selftest_efildr20"), "EFILDR20");

    QemuResult run = BootInQemu(disk.path(), QemuBoot());
    EXPECT_TRUE(Shows(run, "EFILDR20 first sector")) << run.serial;
    ExpectBooted(run);

    // No active entry: the first partition, here as a USB stick.
    Partition inactive = kWholeFat32;
    inactive.status = 0;
    test::WriteMbr(disk, BootImageBytes(BootImage::MbrBin), {inactive});
    ExpectBooted(BootInQemu(disk.path(), QemuBoot().AsUsbStick()));
}

}  // namespace
