#include <cstring>

#include "app/main_window.h"
#include "core/ids.h"
#include "core/settings.h"
#include "core/state.h"
#include "disk/disk_record.h"
#include "disk/disk_system.h"
#include "disk/drive_list.h"
#include "disk/eject.h"
#include "disk/raw_access.h"
#include "disk/same_disk.h"
#include "tests/fake_disks.h"
#include "tests/test_support.h"

namespace {

constexpr int16_t kUsb = 7, kSata = 11;
constexpr int64_t kStick = 15518924800;  // 14.5 GB
constexpr int64_t kEfi = 409600;         // 200 MB in sectors

class DiskTest : public test::AppTest {
protected:
    DiskTest() : disks(*test::FakeDiskSystem::Install()) {
        app::BuildMainWindow();
        core::EnableFixedDisks = 0;
        core::SystemDriveLetter = "C";
        disk::SelectedDisk = {};
        disk::DiskList.clear();
    }
    ~DiskTest() override { disk::SetDiskSystem(nullptr); }

    std::vector<std::string> Lines() {
        std::vector<std::string> lines;
        for (int i = 0; i < toolkit().ItemCount(core::DriveTree); ++i)
            lines.push_back(std::string(toolkit().ItemLevel(core::DriveTree, i) * 2, ' ') +
                            toolkit().ItemText(core::DriveTree, i));
        return lines;
    }
    std::string Status() {
        auto lines = toolkit().StatusLines();
        return lines.empty() ? "" : lines.back();
    }
    void AddStick(int32_t number, std::vector<test::FakeEntry> entries) {
        disks.disks[number] = test::DiskFacts(kUsb, kStick, entries, "SanDisk", "Cruzer");
    }
    void AddVolume(const std::string& root, int32_t disk, int32_t partition,
                   const std::string& label = "", const std::string& fs = "FAT32") {
        disks.volumes.push_back({root, true, {disk, partition}, label, fs});
    }
    test::FakeDiskSystem& disks;
};

TEST(DiskTypes, NamesFollowTheirTables) {
    EXPECT_EQ(disk::BusTypeName(7), "USB");
    EXPECT_EQ(disk::BusTypeName(15), "FileBackedVirtual");
    for (int16_t unnamed : {16, 17, 127}) EXPECT_EQ(disk::BusTypeName(unnamed), "");
    for (int16_t unknown : {-1, 18, 126, 128}) EXPECT_EQ(disk::BusTypeName(unknown), "Unknown");
    EXPECT_EQ(disk::DriveTypeName(3), "Fixed");
    EXPECT_EQ(disk::DriveTypeName(1), "Root directory does not exist");
    EXPECT_EQ(disk::DriveTypeName(7), "Indetermined");
    EXPECT_EQ(disk::DriveTypeName(-1), "Indetermined");
    EXPECT_EQ(disk::PartitionTypeName(0x00), "RAW");
    EXPECT_EQ(disk::PartitionTypeName(0x0C), "FAT32 LBA");
    EXPECT_EQ(disk::PartitionTypeName(0xEB), "BeOS");
    EXPECT_EQ(disk::PartitionTypeName(0xFC), "VMware VMKCORE");
    EXPECT_EQ(disk::PartitionTypeName(0x13), "UnknownFS");
}

TEST_F(DiskTest, ListShowsSticksWithTheirPartitions) {
    AddStick(1, {{2048, kEfi, 0x0C, true}, {2048 + kEfi, 20000000, 0x07}});
    disks.disks[0] = test::DiskFacts(kSata, 500107862016, {{2048, 1000000, 0x07}});
    AddVolume("C:\\", 0, 1, "System", "NTFS");
    AddVolume("E:\\", 1, 1, "EFI");
    AddVolume("F:\\", 1, 2, "", "NTFS");
    disks.volumes.push_back({"D:\\", false, {}, "", ""});  // a CD-ROM
    EXPECT_EQ(disk::RefreshDriveList(), 4);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"USB: SanDisk Cruzer 14.5 GB (E: F:)",
                                                 "  Part1: 200 MB FAT32 Act <EFI> E:",
                                                 "  Part2: 9.5 GB NTFS <NONAME> F:"}));
    EXPECT_EQ(toolkit().SelectedItem(core::DriveTree), 0);
    EXPECT_EQ(Status(), "Select the USB Flash Drive, please");
    EXPECT_EQ(disk::DiskList[0].ListRow, -1);  // the fixed disk is not listed
    EXPECT_EQ(disk::DiskList[1].Partitions[1].ListRow, 2);

    core::EnableFixedDisks = 1;
    disk::RefreshDriveList();
    EXPECT_EQ(Lines().size(), 5u);
    EXPECT_EQ(Lines()[0], "SATA: Vendor Product 465.8 GB (C:)");
}

TEST_F(DiskTest, LinesKeepWhatTheQueriesCouldNotGive) {
    // No length, no letters, an unlabelled unmounted partition, an empty entry carrying
    // "RAW", a logical partition with a letter and a GPT disk whose layout failed.
    AddStick(0, {{63, 1000, 0x0B}, {0, 0, 0x00}});
    disks.disks[0].LengthBytes = 0;
    AddVolume("G:\\", 0, 5, "Logical");
    AddStick(3, {});
    disks.disks[3].Layout.reset();
    AddVolume("H:\\", 3, 1, "GPT data");
    AddStick(4, {});
    disk::RefreshDriveList();
    EXPECT_EQ(Lines(), (std::vector<std::string>{
                           "USB: SanDisk Cruzer G:)", "  Part1: 500 KB FAT32 <NONAME> ",
                           "USB: SanDisk Cruzer 14.5 GB (H:)", "USB: SanDisk Cruzer 14.5 GB ()"}));
    EXPECT_EQ(disk::DiskList[0].Partitions[1].FsName, "RAW");
    EXPECT_EQ(disk::DiskList[0].Partitions[4].Letter, "G:");
    EXPECT_EQ(disk::DiskList[1].PartitionCount, 0);
}

TEST_F(DiskTest, HintsAskForAStickOrForRights) {
    disk::RefreshDriveList();
    EXPECT_TRUE(Lines().empty());
    EXPECT_EQ(Status(), "Insert a USB Flash Drive ...");
    disks.rightsProblem = "No administrator rights: disks can be listed but not written";
    disk::RefreshDriveList();
    EXPECT_EQ(Status(), disks.rightsProblem);
    size_t shown = toolkit().StatusLines().size();
    core::BusyFlag = 1;
    disk::RefreshDriveList();
    EXPECT_EQ(toolkit().StatusLines().size(), shown);
}

TEST_F(DiskTest, SelectionCopiesTheChosenRecord) {
    AddStick(2, {{2048, kEfi, 0x0C}, {2048 + kEfi, 4096, 0x07}});
    AddStick(5, {{2048, kEfi, 0x0C}});
    disk::RefreshDriveList();
    EXPECT_TRUE(disk::GetSelectedDisk());
    EXPECT_EQ(disk::SelectedDisk.DiskNumber, 2);
    EXPECT_EQ(disk::SelectedDisk.SelectedPartition, 0);
    toolkit().SelectItem(core::DriveTree, 2);
    EXPECT_TRUE(disk::GetSelectedDisk());
    EXPECT_EQ(disk::SelectedDisk.DiskNumber, 2);
    EXPECT_EQ(disk::SelectedDisk.SelectedPartition, 2);
    toolkit().SelectItem(core::DriveTree, 4);
    EXPECT_TRUE(disk::GetSelectedDisk());
    EXPECT_EQ(disk::SelectedDisk.DiskNumber, 5);
    EXPECT_EQ(disk::SelectedDisk.SelectedPartition, 1);
    EXPECT_EQ(disk::SelectedDisk.TotalSectors, kStick / 512);
    toolkit().SelectItem(core::DriveTree, -1);
    EXPECT_FALSE(disk::GetSelectedDisk());
    EXPECT_EQ(disk::SelectedDisk.DiskNumber, 0);  // cleared
}

TEST_F(DiskTest, GuardsKeepTheSystemOutOfReach) {
    disks.devices["disk1"];
    disks.devices["volume E:"];
    disks.devices["volume C:"];
    disk::SelectedDisk.Letters = "D: C:";
    EXPECT_EQ(disk::OpenDiskDevice(1, "", true, false), nullptr);  // another number, same rule
    EXPECT_EQ(Status(), "WARNING - write access to System Drive disabled!");
    EXPECT_NE(output().find("[Error] Warning: Sorry, operation not permitted!\nYou selected a "
                            "System Drive."),
              std::string::npos);
    EXPECT_NE(disk::OpenDiskDevice(1, "", false, false), nullptr);  // reading is allowed

    disk::SelectedDisk.Letters = "E:";
    EXPECT_EQ(disk::OpenDiskDevice(0, "c:", false, false), nullptr);
    EXPECT_EQ(Status(), "WARNING - access to Disk C: disabled!");
    EXPECT_EQ(disk::OpenDiskDevice(0, "1", false, false), nullptr);
    EXPECT_EQ(Status(), "WARNING - access to Disk 1: disabled!");
    EXPECT_NE(disk::OpenDiskDevice(0, "e", true, true), nullptr);

    // A system disk recognised by its mounts rather than by a letter.
    disk::SelectedDisk.HoldsSystem = true;
    EXPECT_EQ(disk::OpenDiskDevice(1, "", true, false), nullptr);
}

TEST_F(DiskTest, LocksRetryVolumesButNotDisks) {
    test::FakeDevice& volume = disks.devices["volume E:"];
    volume.busyLocks = 19;
    EXPECT_NE(disk::OpenDiskDevice(0, "E:", false, true), nullptr);
    EXPECT_EQ(volume.lockCalls, 20);
    volume = {};
    volume.busyLocks = 20;
    EXPECT_EQ(disk::OpenDiskDevice(0, "E:", false, true), nullptr);
    EXPECT_EQ(volume.lockCalls, 20);

    test::FakeDevice& disk = disks.devices["disk3"];
    disk.busyLocks = 1;
    EXPECT_EQ(disk::OpenDiskDevice(3, "", true, true), nullptr);
    EXPECT_EQ(disk.lockCalls, 1);
    auto handle = disk::OpenDiskDevice(3, "", true, true);
    ASSERT_NE(handle, nullptr);
    EXPECT_TRUE(disk.locked);
    EXPECT_TRUE(disk::DismountVolume(handle.get()));
    EXPECT_TRUE(disk::UnlockVolume(handle.get()));
    EXPECT_FALSE(disk.locked);
    EXPECT_FALSE(disk::UnlockVolume(nullptr));
}

TEST_F(DiskTest, WriteSectorsPlacesWholeSectors) {
    test::FakeDevice& disk = disks.devices["disk0"];
    auto handle = disk::OpenDiskDevice(0, "", true, false);
    std::string sectors(2 * 4096, 'x');
    EXPECT_EQ(disk::WriteSectors(handle.get(), 4096, 3, 2, sectors.data()), 8192);
    EXPECT_EQ(disk.bytes.size(), 5u * 4096);
    EXPECT_EQ(disk.bytes.find('x'), 3u * 4096);
    EXPECT_EQ(disk::WriteSectors(handle.get(), 512, 0, 0, sectors.data()), 0);
    EXPECT_EQ(disk::WriteSectors(handle.get(), 512, -1, 1, sectors.data()), 0);
    EXPECT_EQ(disk::WriteSectors(handle.get(), 4096, INT64_MAX / 1024, 1, sectors.data()), 0);
    EXPECT_EQ(disk::WriteSectors(nullptr, 512, 0, 1, sectors.data()), 0);
    EXPECT_EQ(disk.bytes.size(), 5u * 4096);
}

TEST(SameDisk, EveryPartOfTheIdentityCounts) {
    platform::DiskFingerprint stick{
        8'000'000'000, platform::DeviceDescriptor{7, "Kingston", "DataTraveler", "0019E06B"},
        0xCAFE0001, 2};
    using disk::SignatureCheck;
    EXPECT_TRUE(disk::SameDisk(stick, stick, SignatureCheck::Compared));
    auto changed = [&](auto change) {
        platform::DiskFingerprint other = stick;
        change(other);
        return other;
    };
    auto larger = changed([](auto& f) { f.LengthBytes += 512; });
    auto otherSerial = changed([](auto& f) { f.Descriptor->SerialNumber = "0019E06C"; });
    auto otherBus = changed([](auto& f) { f.Descriptor->BusType = 11; });
    auto silent = changed([](auto& f) { f.Descriptor.reset(); });
    auto rewritten = changed([](auto& f) { f.Signature = 0x12345678; });
    auto renumbered = changed([](auto& f) { f.DiskNumber = 3; });
    auto unnumbered = changed([](auto& f) { f.DiskNumber.reset(); });
    for (const auto& other : {larger, otherSerial, otherBus, silent, renumbered}) {
        EXPECT_FALSE(disk::SameDisk(stick, other, SignatureCheck::Compared));
        EXPECT_FALSE(disk::SameDisk(stick, other, SignatureCheck::Ignored));
    }
    EXPECT_FALSE(disk::SameDisk(silent, stick, SignatureCheck::Ignored));
    EXPECT_FALSE(disk::SameDisk(stick, rewritten, SignatureCheck::Compared));
    EXPECT_TRUE(disk::SameDisk(stick, rewritten, SignatureCheck::Ignored));
    EXPECT_TRUE(
        disk::SameDisk(stick, unnumbered, SignatureCheck::Compared));  // Linux numbers itself
}

TEST_F(DiskTest, TheRecordHoldsTheIdentityTheQueriesGave) {
    disks.disks[2] = test::DiskFacts(7, 1 << 30, {}, "Vendor", "Stick");
    disks.devices["disk2"];
    disks.disks[3] = test::DiskFacts(7, 1 << 30, {});
    disks.disks[3].Descriptor.reset();
    disk::EnumerateDisks();
    ASSERT_EQ(disk::DiskList.size(), 2u);
    platform::DiskFingerprint first = disk::FingerprintOf(disk::DiskList[0]);
    EXPECT_EQ(first.LengthBytes, 1 << 30);
    ASSERT_TRUE(first.Descriptor);
    EXPECT_EQ(first.Descriptor->SerialNumber, "SNStick");
    EXPECT_EQ(first.Signature, 0x12345678u);
    EXPECT_EQ(first.DiskNumber, 2);
    EXPECT_TRUE(disk::SameDisk(first, disks.OpenDisk(2, false)->Fingerprint(),
                               disk::SignatureCheck::Compared));
    EXPECT_FALSE(disk::FingerprintOf(disk::DiskList[1]).Descriptor);
}

TEST(RawAccessTiming, MulDiv64) {
    EXPECT_EQ(disk::MulDiv64(5, 7, 0), -1);
    EXPECT_EQ(disk::MulDiv64(10, 3, 4), 7);
    EXPECT_EQ(disk::MulDiv64(-10, 3, 4), -7);
    // 64 GB in 40 s on a nanosecond counter: the product needs more than 64 bits.
    EXPECT_EQ(disk::MulDiv64(64000000000, 1000000000, 40000000000), 1600000000);
    EXPECT_GT(disk::ReadHighResCounter(), 0);
    EXPECT_GT(disk::HighResFrequency.load(), 0);
}

TEST_F(DiskTest, EjectTakesTheDiskOfTheChosenLine) {
    AddStick(1, {{2048, kEfi, 0x0C}});
    AddStick(2, {{2048, kEfi, 0x0C}, {2048 + kEfi, 4096, 0x07}});
    AddVolume("F:\\", 2, 2);
    AddVolume("G:\\", 2, 1);
    disk::RefreshDriveList();
    EXPECT_FALSE(disk::EjectSelectedDrive());  // disk 1 has no letter
    toolkit().SelectItem(core::DriveTree, -1);
    EXPECT_FALSE(disk::EjectSelectedDrive());
    toolkit().SelectItem(core::DriveTree, 3);  // disk 2, first partition line
    EXPECT_TRUE(disk::EjectSelectedDrive());
    ASSERT_EQ(disks.ejected.size(), 1u);
    EXPECT_EQ(disks.ejected[0], (std::pair<int32_t, std::string>{2, "F: G:"}));
}

}  // namespace
