#include <algorithm>
#include <cstring>

#include "app/main_window.h"
#include "app/workers.h"
#include "core/ids.h"
#include "core/settings.h"
#include "core/state.h"
#include "disk/disk_system.h"
#include "disk/drive_list.h"
#include "platform/byte_order.h"
#include "platform/clock.h"
#include "prepare/boot_images.h"
#include "prepare/boot_records.h"
#include "prepare/format_and_install.h"
#include "prepare/format_volume.h"
#include "prepare/partition_table.h"
#include "tests/fake_disks.h"
#include "tests/test_support.h"

namespace {

using platform::ReadLe32;

struct Entry {
    uint8_t status, type;
    std::array<uint8_t, 3> start, end;
    uint32_t first, count;
};

Entry EntryOf(const uint8_t* area, int index) {
    const uint8_t* e = area + 16 * index;
    return {e[0], e[4], {e[1], e[2], e[3]}, {e[5], e[6], e[7]}, ReadLe32(e + 8), ReadLe32(e + 12)};
}

constexpr int64_t k4GB = 7831552;  // sectors of a 4 GB stick, 512-byte sectors

TEST(PartitionTable, TwoPartitionsOnAFourGigabyteStick) {
    prepare::PartitionLayout layout{4096, true, 200, 512, 63, 255, k4GB, 487 * 255 * 63};
    prepare::PartitionArea area = prepare::BuildPartitionTable(layout);
    Entry boot = EntryOf(area.data(), 0), data = EntryOf(area.data(), 1);
    EXPECT_EQ(boot.status, 0x80);
    EXPECT_EQ(boot.type, 0x06);
    EXPECT_EQ(boot.first, 4096u);
    EXPECT_EQ(boot.count, 409600u);
    EXPECT_EQ(data.status, 0x00);
    EXPECT_EQ(data.first, 413696u);
    EXPECT_EQ(data.count, uint32_t(k4GB - 413696));
    // End of the boot partition: LBA 413695 = cylinder 25, head 191, sector 38.
    EXPECT_EQ(boot.end, (std::array<uint8_t, 3>{191, 38, 25}));
    EXPECT_EQ(EntryOf(area.data(), 2).first, 0u);
    EXPECT_EQ(area[64], 0x55);
    EXPECT_EQ(area[65], 0xAA);
}

TEST(PartitionTable, ChsStartsAndTheCapOnEnds) {
    EXPECT_EQ(prepare::ChsAddress(63, 63), (std::array<uint8_t, 3>{1, 1, 0}));
    EXPECT_EQ(prepare::ChsAddress(2048, 63), (std::array<uint8_t, 3>{32, 33, 0}));
    // Cylinder 1023 keeps its high bits in the sector byte.
    EXPECT_EQ(prepare::ChsAddress(1023LL * 255 * 63, 63), (std::array<uint8_t, 3>{0, 0xC1, 0xFF}));

    prepare::PartitionLayout small{63, false, 0, 512, 63, 255, 1000000, 1000000 / 16065 * 16065};
    Entry exact = EntryOf(prepare::BuildPartitionTable(small).data(), 0);
    EXPECT_EQ(exact.first, 63u);
    EXPECT_EQ(exact.count, uint32_t(1000000 - 63));
    EXPECT_EQ(exact.end, prepare::ChsAddress(small.geometryCapacity - 1, 63));

    prepare::PartitionLayout large{2048, false, 0, 512, 63, 255, 30000000, prepare::kChsLimit};
    Entry capped = EntryOf(prepare::BuildPartitionTable(large).data(), 0);
    EXPECT_EQ(capped.end, (std::array<uint8_t, 3>{0xFE, 0xFF, 0xFF}));
}

TEST(PartitionTable, FourKibibyteSectorsCountInTheirOwnUnits) {
    prepare::PartitionLayout layout{4096, true, 200, 4096, 63, 255, 1000000, 1000000};
    Entry boot = EntryOf(prepare::BuildPartitionTable(layout).data(), 0);
    EXPECT_EQ(boot.count, 51200u);
}

class SectorTest : public test::AppTest {
protected:
    SectorTest() : disks(*test::FakeDiskSystem::Install()) {
        app::BuildMainWindow();
        disk::SelectedDisk = {};
    }
    ~SectorTest() override { disk::SetDiskSystem(nullptr); }
    test::FakeDiskSystem& disks;
};

TEST_F(SectorTest, ClearingZeroesBothEndsAndStopsOnCancel) {
    test::FakeDevice& device = disks.devices["disk0"];
    device.bytes.assign(1024 * 512, 'x');
    auto disk = disks.OpenDisk(0, true);
    EXPECT_EQ(prepare::ClearPartitionStructures(disk.get(), 1024 * 512, 512), 1);
    EXPECT_EQ(device.bytes.find_first_not_of('\0'), 128u * 512);
    EXPECT_EQ(device.bytes.find_last_not_of('\0'), (1024u - 128) * 512 - 1);

    device.bytes.assign(1024 * 512, 'x');
    core::CancelFlag = 1;
    EXPECT_EQ(prepare::ClearPartitionStructures(disk.get(), 1024 * 512, 512), 0);
    EXPECT_EQ(device.bytes[0], 'x');
    core::CancelFlag = 0;

    test::FakeDevice& tiny = disks.devices["disk1"];
    tiny.bytes.assign(100 * 512, 'x');
    auto small = disks.OpenDisk(1, true);
    EXPECT_EQ(prepare::ClearPartitionStructures(small.get(), 100 * 512, 512), 1);
    EXPECT_EQ(tiny.bytes.find_first_not_of('\0'), std::string::npos);
}

TEST_F(SectorTest, MasterBootRecordKeepsTheCodeAndClearsTheNewPartitionStarts) {
    test::FakeDevice& device = disks.devices["disk0"];
    device.bytes.assign(1000000, 'x');
    auto disk = disks.OpenDisk(0, true);
    std::vector<uint8_t> mbr(4096, 0);
    std::memset(mbr.data(), 0xAB, 440);
    prepare::PartitionLayout layout{63, true, 1, 4096, 63, 255, 244, 244};
    prepare::WriteMasterBootRecord(disk.get(), mbr, prepare::BuildPartitionTable(layout), 4096);
    const auto* sector = reinterpret_cast<const uint8_t*>(device.bytes.data());
    EXPECT_EQ(sector[439], 0xAB);
    EXPECT_EQ(ReadLe32(sector + 440), uint32_t(platform::SystemClock().TickMs()));
    EXPECT_EQ(ReadLe32(sector + 446 + 8), 63u);
    EXPECT_EQ(sector[510], 0x55);
    EXPECT_EQ(std::string(device.bytes, 512, 4096 - 512), std::string(4096 - 512, '\0'));
    EXPECT_EQ(device.bytes.substr(63 * 4096, 4096), std::string(4096, '\0'));
    EXPECT_EQ(device.bytes.substr((63 + 256) * 4096, 4096), std::string(4096, '\0'));
    EXPECT_EQ(device.bytes[62 * 4096], 'x');
    EXPECT_EQ(disks.layoutUpdates, 1);

    prepare::SetPartitionTypeLba(disk.get(), 4096);
    EXPECT_EQ(uint8_t(device.bytes[450]), 0x0C);
    EXPECT_EQ(uint8_t(device.bytes[439]), 0xAB);
}

TEST(BootRecords, ExFatChecksumSkipsTheVolatileFields) {
    uint8_t two[2] = {1, 2};
    EXPECT_EQ(prepare::ExFatBootChecksum(two, 2), 0x80000002u);
    std::vector<uint8_t> region(11 * 512, 0x5A);
    uint32_t base = prepare::ExFatBootChecksum(region.data(), region.size());
    for (size_t skipped : {106, 107, 112}) {
        std::vector<uint8_t> changed = region;
        changed[skipped] = 0;
        EXPECT_EQ(prepare::ExFatBootChecksum(changed.data(), changed.size()), base);
    }
    region[113] = 0;
    EXPECT_NE(prepare::ExFatBootChecksum(region.data(), region.size()), base);
}

TEST(BootRecords, SpliceKeepsOnlyTheVolumeParameterBlock) {
    std::vector<uint8_t> image(512, 0xC0), volume(512, 0x11);
    prepare::SpliceParameterBlock(image.data(), volume.data(), core::FileSystemKind::Fat32Lba);
    EXPECT_EQ(image[2], 0xC0);
    EXPECT_EQ(image[3], 0x11);
    EXPECT_EQ(image[89], 0x11);
    EXPECT_EQ(image[90], 0xC0);
    std::vector<uint8_t> exfat(1024, 0xC0);
    prepare::SpliceParameterBlock(exfat.data(), volume.data(), core::FileSystemKind::ExFat);
    EXPECT_EQ(exfat[0], 0x11);
    EXPECT_EQ(exfat[119], 0x11);
    EXPECT_EQ(exfat[120], 0xC0);
}

TEST_F(SectorTest, ExFatBootRecordGetsItsBackupAndChecksum) {
    test::FakeDevice& volume = disks.devices["volume F:"];
    volume.bytes.assign(24 * 512, 0x33);
    std::vector<uint8_t> image(1024, 0x90);
    ASSERT_TRUE(
        prepare::InstallPartitionBootRecord(1, "F:", image, 2, 512, core::FileSystemKind::ExFat));
    const auto* bytes = reinterpret_cast<const uint8_t*>(volume.bytes.data());
    EXPECT_EQ(bytes[0], 0x33);    // the volume's header
    EXPECT_EQ(bytes[120], 0x90);  // the image's code
    EXPECT_EQ(volume.bytes.substr(12 * 512, 1024), volume.bytes.substr(0, 1024));
    uint32_t checksum = prepare::ExFatBootChecksum(bytes, 11 * 512);
    EXPECT_EQ(ReadLe32(bytes + 11 * 512), checksum);
    EXPECT_EQ(ReadLe32(bytes + 11 * 512 + 508), checksum);
    EXPECT_EQ(volume.bytes.substr(23 * 512, 512), volume.bytes.substr(11 * 512, 512));
    EXPECT_FALSE(volume.locked);

    EXPECT_FALSE(
        prepare::InstallPartitionBootRecord(1, "G:", image, 2, 512, core::FileSystemKind::ExFat));
    EXPECT_EQ(core::CancelFlag.load(), 1);
}

TEST_F(SectorTest, FormatReportsBecomeStatusTextsAndCancel) {
    uint32_t percent = 42;
    EXPECT_TRUE(prepare::FormatCallback(0, 0, &percent));
    EXPECT_EQ(toolkit().StatusLines().back(), "Formatting: 42 %");
    EXPECT_TRUE(prepare::FormatCallback(18, 0, nullptr));
    EXPECT_EQ(toolkit().StatusLines().back(), "Volume is too small");
    EXPECT_FALSE(prepare::FormatCallback(16, 0, nullptr));
    EXPECT_EQ(toolkit().StatusLines().back(), "Unsupported cluster size");
    size_t shown = toolkit().StatusLines().size();
    EXPECT_FALSE(prepare::FormatCallback(0, 0, &percent));  // already cancelled: silent
    EXPECT_EQ(toolkit().StatusLines().size(), shown);

    core::CancelFlag = 0;
    EXPECT_FALSE(prepare::FormatCallback(99, 0, nullptr));  // unknown: stops without a text
    EXPECT_EQ(toolkit().StatusLines().size(), shown);
    core::CancelFlag = 0;
    uint8_t failed = 0;
    EXPECT_FALSE(prepare::FormatCallback(11, 0, &failed));
    EXPECT_EQ(toolkit().StatusLines().back(), "Error while formatting");

    core::CancelFlag = 0;
    disks.formatServiceMissing = true;
    EXPECT_EQ(prepare::FormatVolume("F:", "FAT32", "", 1, 0), 0);
    EXPECT_EQ(toolkit().StatusLines().back(), "Error OpenLibrary fmifs.dll");
}

// The whole operation on a fake 64 MiB stick with one old partition on E:.
class FormatTest : public SectorTest {
protected:
    static constexpr int64_t kSectors = 131072;

    FormatTest() {
        core::LoadSettingsFromText("");
        core::InitialiseGlobals();
        core::MultiPartitions = 0;  // the default 200 MB boot partition needs a bigger stick
        app::SetWorkerLauncher([](app::WorkerProc proc, int32_t argument) { proc(argument); });
        toolkit().SetAssumeYes(true);
        disks.disks[1] = test::DiskFacts(7, kSectors * 512, {{2048, kSectors - 2048, 0x0B}});
        disks.volumes.push_back({"E:\\", true, {1, 1}, "OLD", "FAT32"});
        disk().bytes.assign(size_t(kSectors) * 512, 'x');
        disks.devices["volume E:"];
        disks.devices["volume F:"];
        disks.formattedBoot.assign(512, 'V');
        disk::RefreshDriveList();
        toolkit().SelectItem(core::DriveTree, 0);
    }
    test::FakeDevice& disk() { return disks.devices["disk1"]; }
    bool Said(const std::string& text) {
        for (const std::string& line : toolkit().StatusLines())
            if (line == text) return true;
        return false;
    }
    core::Outcome Format(int32_t installDataSet = 0) {
        return prepare::FormatAndInstall(installDataSet);
    }
};

TEST_F(FormatTest, DefaultBootRecordsMakeABootableCloverStick) {
    core::InstallDataSet = "Not_Install";
    disks.volumes.push_back({"G:\\", true, {1, 5}, "LOGICAL", "FAT32"});  // not in the slots
    disks.devices["volume G:"];
    std::string before = disk().bytes;
    EXPECT_EQ(Format(), core::Outcome::Done);
    EXPECT_TRUE(Said("All done"));
    EXPECT_NE(output().find("[WARNING] Warning: ALL DATA ON DEVICE:\n"
                            "Product Vendor 64 MB (E:)\nWILL BE DESTROYED."),
              std::string::npos);
    EXPECT_NE(output().find("Task:\tClover format only\nMBR:\tboot0 (Clover)\n"
                            "PBR:\tboot1f32alt (Clover)\nAlign:\tto 4096 (sects)\n"
                            "FS:\tFAT32-LBA\nClover:\tNot_Install\n"),
              std::string::npos)
        << output();
    const auto* mbr = reinterpret_cast<const uint8_t*>(disk().bytes.data());
    auto boot0 = prepare::BootImageBytes(prepare::BootImage::Boot0);
    EXPECT_EQ(std::memcmp(mbr, boot0.data(), 440), 0);
    Entry first = EntryOf(mbr + 446, 0);
    EXPECT_EQ(first.first, 4096u);
    EXPECT_EQ(first.type, 0x0C);  // FAT32-LBA after the format
    ASSERT_EQ(disks.formats.size(), 1u);
    EXPECT_EQ(disks.formats[0].letter, "E:");
    EXPECT_EQ(disks.formats[0].fileSystem, "FAT32");
    EXPECT_TRUE(disks.devices["volume E:"].dismounted);
    EXPECT_TRUE(disks.devices["volume G:"].dismounted);

    const std::string& volume = disks.devices["volume E:"].bytes;
    auto pbr = prepare::BootImageBytes(prepare::BootImage::Boot1f32alt);
    EXPECT_EQ(volume.substr(3, 87), std::string(87, 'V'));
    EXPECT_EQ(std::memcmp(volume.data() + 90, pbr.data() + 90, 422), 0);
    EXPECT_EQ(disks.remounted, std::vector<std::string>{"E:"});
    EXPECT_TRUE(Said("Clover boot records installed"));
    EXPECT_EQ(core::BusyFlag.load(), 0);
    EXPECT_EQ(toolkit().GetText(core::FormatButton), "Format Disk");
}

TEST_F(FormatTest, RefusalsLeaveTheDiskUntouched) {
    toolkit().SetAssumeYes(false);
    std::string before = disk().bytes;
    core::Boot_records = "Clover";
    core::FileSystem = "NTFS";
    EXPECT_EQ(Format(), core::Outcome::Refused);
    EXPECT_EQ(toolkit().StatusLines().back(),
              "Error : Select FileSystem : FAT32-LBA Or exFAT only!");

    core::FileSystem = "FAT32";
    disks.disks[1].Descriptor->BusType = 11;  // SATA, shown with fixed disks
    disks.disks[1].DriveTypeCode = 3;
    core::EnableFixedDisks = 1;
    disk::RefreshDriveList();
    Format();  // the "Are You sure?" box is answered Cancel
    EXPECT_NE(output().find("[Warning] Warning: Are You sure?"), std::string::npos);

    core::SystemDriveLetter = "E";
    Format();
    EXPECT_NE(output().find("You selected a System Drive."), std::string::npos);
    core::SystemDriveLetter = "C";

    disks.disks[1].Descriptor->BusType = 7;
    disks.volumes.clear();
    core::Boot_records = "Not_Format";
    disk::RefreshDriveList();
    Format();
    EXPECT_TRUE(Said("Error : Can't copy Boot Data Set Files - Dest Disk Don't Have a Letter!"));
    EXPECT_EQ(disk().bytes, before);
    EXPECT_TRUE(disks.formats.empty());
}

TEST_F(FormatTest, DeclinedConfirmationAndCancelledFormatSkipAllDone) {
    std::string before = disk().bytes;
    toolkit().SetAssumeYes(false);
    EXPECT_EQ(Format(), core::Outcome::Refused);
    EXPECT_EQ(disk().bytes, before);
    EXPECT_FALSE(Said("All done"));

    disks.formatReports = {{15, 0}, {8, 0}};  // "Volume is in use"
    toolkit().SetAssumeYes(true);
    EXPECT_EQ(Format(), core::Outcome::Failed);
    EXPECT_TRUE(Said("Volume is in use"));
    EXPECT_FALSE(Said("All done"));
    EXPECT_NE(disk().bytes, before);  // the new table was written before the format failed
    EXPECT_TRUE(disks.remounted.empty());
    EXPECT_EQ(core::CancelFlag.load(), 0);
}

// A write that does not reach the device, or a boot sector that cannot be read, ends the
// run with a status saying so, and nothing is written after it.
TEST_F(FormatTest, TransfersTheDeviceRefusesStopTheRun) {
    struct Case {
        const char* what;
        const char* device;
        bool reads;  // the device refuses its reads, else its writes
        const char* status;
        size_t formats;
    };
    const Case cases[] = {
        {"a table the disk does not take", "disk1", false,
         "Error : The new partition table of Disk1 did not reach the disk!", 0},
        {"a boot sector that cannot be read", "volume E:", true,
         "Error reading the boot sector of E:", 1},
        {"a boot sector that cannot be written", "volume E:", false,
         "Error writing the boot sector of E:", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        disks.formats.clear();
        disks.remounted.clear();
        disks.devices["volume E:"].bytes.clear();
        std::string before = disk().bytes;
        test::FakeDevice& device = disks.devices[c.device];
        (c.reads ? device.refusesReads : device.refusesWrites) = true;
        EXPECT_EQ(Format(), core::Outcome::Failed);
        device.refusesReads = device.refusesWrites = false;
        EXPECT_EQ(toolkit().StatusLines().back(), c.status);
        EXPECT_EQ(disks.formats.size(), c.formats);
        EXPECT_TRUE(disks.remounted.empty());
        if (c.formats == 0)
            EXPECT_EQ(disk().bytes, before);
        else
            EXPECT_EQ(disks.devices["volume E:"].bytes, disks.formattedBoot) << "no PBR over it";
        disk::RefreshDriveList();
        toolkit().SelectItem(core::DriveTree, 0);
    }
    EXPECT_FALSE(Said("All done"));
}

// A run whose data set did not arrive is no success: its last status tells why.
TEST_F(FormatTest, AMissingDataSetEndsOnItsOwnTextNotAllDone) {
    setenv("TMPDIR", scratch.path().c_str(), 1);
    setenv("STICKFORGE_CLOVER_HOST", "http://127.0.0.1:1", 1);  // nobody answers
    setenv("STICKFORGE_GITHUB_API", "http://127.0.0.1:1", 1);
    core::ResumeMaxAttemptsNumber = 0;
    std::string notZip = scratch.file("CloverISO-5000.zip");
    test::WriteFile(notZip, "not a ZIP archive");
    struct Case {
        const char* what;
        const char* dataSet;
        const char* revision;
        std::vector<std::string> shown;  // in this order, the last one last of all
    };
    const Case cases[] = {
        {"a local archive that is no ZIP",
         "Local",
         "0",
         {"Success Read Local Data set", "Data set files of Clover not Installed"}},
        {"no latest revision found",
         "DL",
         "0",
         {"Error Check Clover Last Revision", "Data set files of Clover not Installed"}},
        {"a failed download", "DL", "5000", {"Data set files of Clover not Installed"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        core::InstallDataSet = c.dataSet;
        core::DownloadRevision = c.revision;
        core::LocalArchivePath = notZip;
        size_t before = toolkit().StatusLines().size();
        EXPECT_EQ(Format(1), core::Outcome::Failed);
        std::vector<std::string> lines = toolkit().StatusLines();
        lines.erase(lines.begin(), lines.begin() + long(before));
        EXPECT_TRUE(Said("Clover boot records installed"));
        EXPECT_EQ(std::find(lines.begin(), lines.end(), "All done"), lines.end());
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), c.shown.back());
        auto at = lines.begin();
        for (const std::string& text : c.shown) {
            at = std::find(at, lines.end(), text);
            EXPECT_NE(at, lines.end()) << text;
        }
        disk::RefreshDriveList();
        toolkit().SelectItem(core::DriveTree, 0);
    }
    unsetenv("STICKFORGE_CLOVER_HOST");
    unsetenv("STICKFORGE_GITHUB_API");
    unsetenv("TMPDIR");
}

// The stick shown in the confirmation was pulled and another one took its number.
TEST_F(FormatTest, AnotherDiskUnderTheConfirmedNumberIsNotWritten) {
    std::string before = disk().bytes;
    auto other = test::DiskFacts(7, kSectors * 512, {{2048, kSectors - 2048, 0x0B}});
    other.Descriptor->SerialNumber = "another stick of the same kind";
    disks.disks[1] = other;
    Format();
    EXPECT_TRUE(Said("Error : The Disk1 is not the disk confirmed!"));
    EXPECT_FALSE(Said("All done"));
    EXPECT_EQ(disk().bytes, before);
    EXPECT_FALSE(disks.devices["volume E:"].dismounted);

    disk::RefreshDriveList();  // the new stick confirmed, then one without a serial instead
    toolkit().SelectItem(core::DriveTree, 0);
    other.Descriptor->SerialNumber.clear();
    other.Layout->Signature = 0x0BADF00D;
    disks.disks[1] = other;
    Format();
    EXPECT_EQ(disk().bytes, before);
    EXPECT_TRUE(disks.formats.empty());
}

TEST_F(FormatTest, TablesThatDoNotFitAndMissingLettersEndWithoutAllDone) {
    std::string before = disk().bytes;
    core::MultiPartitions = 1;
    core::BootPartitionSize = 64;  // as large as the whole stick
    Format();
    EXPECT_TRUE(Said("Error : The partitions do not fit on this disk!"));
    EXPECT_FALSE(Said("All done"));
    EXPECT_EQ(disk().bytes, before);

    core::MultiPartitions = 0;
    disks.volumes.clear();
    disks.assignedLetter = "";
    disk::RefreshDriveList();
    Format();
    EXPECT_TRUE(Said("Error : The new partition got no drive letter!"));
    EXPECT_FALSE(Said("All done"));
    EXPECT_TRUE(disks.formats.empty());
}

// An MBR entry counts sectors in 32 bits: a disk of 2^32 sectors is refused before any
// write instead of getting truncated partitions.
TEST_F(FormatTest, DisksBeyondTheMbrLimitAreRefused) {
    constexpr int64_t kMbrLimitBytes = (int64_t(1) << 32) * 512;
    for (int64_t bytes : {kMbrLimitBytes, kMbrLimitBytes + 512 * 4096}) {
        disks.disks[1] = test::DiskFacts(7, bytes, {{2048, kSectors - 2048, 0x0B}});
        disk::RefreshDriveList();
        toolkit().SelectItem(core::DriveTree, 0);
        std::string before = disk().bytes;
        EXPECT_EQ(Format(), core::Outcome::Refused);
        EXPECT_TRUE(Said("Error : Disk too big for MBR (2^32 sectors at most)!"));
        EXPECT_FALSE(Said("All done"));
        EXPECT_EQ(disk().bytes, before);
        EXPECT_TRUE(disks.formats.empty());
    }
}

TEST_F(FormatTest, XpcMovesToFat32AndAnUnmountedPartitionGetsALetter) {
    core::Boot_records = "XPC";
    core::FileSystem = "exFAT";
    core::MultiPartitions = 1;
    core::BootPartitionSize = 16;
    disks.volumes.clear();
    disk::RefreshDriveList();
    Format();
    EXPECT_TRUE(Said("All done"));
    EXPECT_EQ(core::FileSystem, "FAT32-LBA");
    ASSERT_EQ(disks.formats.size(), 1u);
    EXPECT_EQ(disks.formats[0].letter, "F:");  // assigned
    const auto* mbr = reinterpret_cast<const uint8_t*>(disk().bytes.data());
    EXPECT_EQ(std::memcmp(mbr, prepare::BootImageBytes(prepare::BootImage::MbrBin).data(), 440), 0);
    EXPECT_EQ(EntryOf(mbr + 446, 0).count, 32768u);
    EXPECT_EQ(EntryOf(mbr + 446, 1).first, 4096u + 32768u);
}

// UEFI firmware reads FAT only: the summary of a stick it cannot start says so.
TEST_F(FormatTest, SummarySaysWhenUefiFirmwareCannotStartTheStick) {
    toolkit().SetAssumeYes(false);  // the confirmation is declined after the summary
    const std::string line = "UEFI:\tnot bootable (firmware reads FAT32 only)\n";
    struct Case {
        const char* bootRecords;
        const char* fileSystem;
        bool said;
    };
    for (const Case& c : {Case{"Clover", "exFAT", true}, Case{"Windows", "NTFS", true},
                          Case{"Windows", "UDF", true}, Case{"Clover", "FAT32-LBA", false},
                          Case{"XPC", "exFAT", false}}) {
        SCOPED_TRACE(std::string(c.bootRecords) + " " + c.fileSystem);
        core::Boot_records = c.bootRecords;
        core::FileSystem = c.fileSystem;
        size_t from = output().size();
        Format();
        std::string summary = output().substr(from);
        EXPECT_NE(summary.find("WILL BE DESTROYED."), std::string::npos) << summary;
        EXPECT_EQ(summary.find(line) != std::string::npos, c.said) << summary;
    }
}

}  // namespace
