// The Linux disk layer: table decoding on its own, then real loop devices, FUSE mounts and
// uevents as root.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "platform/byte_order.h"
#include "platform/disks.h"
#include "platform/linux/disk_names.h"
#include "platform/linux/mbr.h"
#include "platform/linux/mounts.h"
#include "platform/linux/partition_nodes.h"
#include "platform/linux/sysfs.h"
#include "platform/linux/volume_identity.h"
#include "tests/loop_disk.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;
using namespace platform;
using namespace platform::linuxos;

namespace {

using Sector = std::array<uint8_t, 512>;

struct Entry {
    uint8_t status = 0;
    uint8_t type = 0;
    uint32_t start = 0;
    uint32_t count = 0;
};

// An MBR with the entries in slot order.
Sector Mbr(const std::vector<Entry>& entries, uint32_t signature = 0x5EED1234) {
    Sector sector{};
    platform::WriteLe32(&sector[440], signature);
    for (size_t slot = 0; slot < entries.size(); ++slot) {
        uint8_t* entry = &sector[446 + 16 * slot];
        entry[0] = entries[slot].status;
        entry[4] = entries[slot].type;
        platform::WriteLe32(entry + 8, entries[slot].start);
        platform::WriteLe32(entry + 12, entries[slot].count);
    }
    sector[510] = 0x55;
    sector[511] = 0xAA;
    return sector;
}

struct Expected {
    uint32_t start = 0, count = 0, number = 0;
    uint8_t type = 0, boot = 0, recognized = 0;
};

void ExpectEntry(const PartitionInformation& entry, int64_t sectorSize, const Expected& expected) {
    EXPECT_EQ(entry.StartingOffset, expected.start * sectorSize);
    EXPECT_EQ(entry.PartitionLength, expected.count * sectorSize);
    EXPECT_EQ(entry.HiddenSectors, expected.start);
    EXPECT_EQ(entry.PartitionNumber, expected.number);
    EXPECT_EQ(entry.PartitionType, expected.type);
    EXPECT_EQ(entry.BootIndicator, expected.boot);
    EXPECT_EQ(entry.RecognizedPartition, expected.recognized);
    EXPECT_EQ(entry.RewritePartition, 0);
}

TEST(MbrDecoding, EntriesAreTakenAsWrittenInSlotOrder) {
    // Slot 2 is empty; slot 3 points far past any small disk and is kept as it is.
    Sector sector = Mbr({{0x80, 0x0C, 2048, 8192},
                         {0x00, 0x83, 10240, 4096},
                         {},
                         {0x00, 0x07, 0xFFFFFF00, 0x1000}});
    auto layout = DecodeMbr(sector, 512);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->PartitionCount, 4u);
    EXPECT_EQ(layout->Signature, 0x5EED1234u);
    ExpectEntry(layout->Entries[0], 512, {2048, 8192, 1, 0x0C, 0x80, 1});
    ExpectEntry(layout->Entries[1], 512, {10240, 4096, 2, 0x83, 0, 0});
    ExpectEntry(layout->Entries[2], 512, {});
    ExpectEntry(layout->Entries[3], 512, {0xFFFFFF00, 0x1000, 4, 0x07, 0, 1});

    // Large logical sectors scale offsets and lengths; LBA values stay as written.
    auto large = DecodeMbr(sector, 4096);
    ASSERT_TRUE(large);
    ExpectEntry(large->Entries[0], 4096, {2048, 8192, 1, 0x0C, 0x80, 1});
}

TEST(MbrDecoding, BlankDisksHaveNoEntriesAndGptDisksNoLayout) {
    Sector blank{};
    auto layout = DecodeMbr(blank, 512);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->PartitionCount, 0u);
    EXPECT_EQ(layout->Entries[0].PartitionLength, 0);

    // A type without a length is no partition.
    auto lengthless = DecodeMbr(Mbr({{0x80, 0x0C, 2048, 0}}), 512);
    ASSERT_TRUE(lengthless);
    EXPECT_EQ(lengthless->Entries[0].PartitionNumber, 0u);

    EXPECT_FALSE(DecodeMbr(Mbr({{0, 0xEE, 1, 0xFFFFFFFF}}), 512));
    EXPECT_FALSE(DecodeMbr(Mbr({{0x80, 0x0C, 2048, 8192}, {0, 0xEE, 1, 100}}), 512));  // hybrid
}

TEST(MountTable, DecodesEscapedPathsAndSkipsBrokenLines) {
    std::string text =
        "26 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
        "44 26 259:0 / /media/my\\040stick rw shared:1 master:2 - fuseblk /dev/loop0p1 rw\n"
        "45 26 259:1 / /mnt/back\\134slash\\011tab rw - vfat /dev/sdb1 rw\n"
        "46 26 0:20 / /proc rw - proc proc rw\n"
        "47 26 nonsense\n"
        "48 26 8:1 / /mnt/trailing\\04 rw - ext4 /dev/sda1 rw\n";
    std::vector<Mount> mounts = ParseMountInfo(text);
    ASSERT_EQ(mounts.size(), 5u);
    EXPECT_EQ(mounts[0].mountPoint, "/");
    EXPECT_EQ(mounts[1].mountPoint, "/media/my stick");
    EXPECT_EQ(mounts[1].fsType, "fuseblk");
    EXPECT_EQ(mounts[1].source, "/dev/loop0p1");
    EXPECT_EQ(mounts[1].device, makedev(259, 0));
    EXPECT_EQ(mounts[2].mountPoint, "/mnt/back\\slash\ttab");
    EXPECT_EQ(mounts[3].device, makedev(0, 20));
    EXPECT_EQ(mounts[4].mountPoint, "/mnt/trailing\\04");  // an incomplete escape stays
}

TEST(DiskOrder, NamesSortNaturally) {
    std::vector<std::string> names = {"sdb", "loop10", "vda", "sda", "loop2", "nvme0n1", "loop02"};
    std::stable_sort(names.begin(), names.end(), NaturalLess);
    EXPECT_EQ(names, (std::vector<std::string>{"loop2", "loop02", "loop10", "nvme0n1", "sda", "sdb",
                                               "vda"}));
}

TEST(FileSystemNames, FollowWindowsNaming) {
    EXPECT_EQ(ProbedFileSystemName("vfat", "FAT32"), "FAT32");
    EXPECT_EQ(ProbedFileSystemName("vfat", "FAT16"), "FAT");
    EXPECT_EQ(ProbedFileSystemName("exfat", ""), "exFAT");
    EXPECT_EQ(ProbedFileSystemName("ntfs", ""), "NTFS");
    EXPECT_EQ(ProbedFileSystemName("ext4", "1.0"), "ext4");
    EXPECT_EQ(MountedFileSystemName("vfat"), "FAT32");
    EXPECT_EQ(MountedFileSystemName("fuseblk"), "");  // FUSE hides the driver
    EXPECT_EQ(MountedFileSystemName("ntfs3"), "NTFS");
}

// Root-only parts: loop devices, mkfs, FUSE mounts, uevents.

bool HasTool(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// A FUSE mount, unmounted when the test ends.
class FuseMount {
public:
    FuseMount(const std::string& driver, const std::string& node, std::string mountPoint)
        : mountPoint_(std::move(mountPoint)) {
        fs::create_directories(mountPoint_);
        mounted_ = std::system((driver + " " + node + " " + Quoted(mountPoint_)).c_str()) == 0;
    }
    ~FuseMount() {
        if (umount2(mountPoint_.c_str(), 0) != 0) umount2(mountPoint_.c_str(), MNT_DETACH);
    }
    FuseMount(const FuseMount&) = delete;
    FuseMount& operator=(const FuseMount&) = delete;

    bool mounted() const { return mounted_; }
    const std::string& path() const { return mountPoint_; }

private:
    std::string mountPoint_;
    bool mounted_ = false;
};

bool Mounted(const std::string& mountPoint) {
    std::vector<Mount> mounts = ReadMounts();
    return std::any_of(mounts.begin(), mounts.end(),
                       [&](const Mount& mount) { return mount.mountPoint == mountPoint; });
}

int32_t NumberOf(DiskSystem& disks, const std::string& device) {
    for (int32_t number = 0; number < 50; ++number)
        if (disks.DevicePath(number) == device) return number;
    return -1;
}

class LoopDisks : public ::testing::Test {
protected:
    void SetUp() override { REQUIRE_ROOT("loop devices and mounts"); }

    // A sparse image of `bytes` with `mbr` (if any) in sector 0.
    std::string MakeImage(const std::string& name, int64_t bytes, const Sector* mbr) {
        std::string path = scratch.file(name), error;
        EXPECT_TRUE(CreateImageFile(path, bytes, error)) << error;
        if (mbr) {
            std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
            file.write(reinterpret_cast<const char*>(mbr->data()), std::streamsize(mbr->size()));
        }
        return path;
    }

    std::unique_ptr<test::LoopDisk> Attach(const std::string& name, int64_t bytes,
                                           const Sector* mbr) {
        auto disk =
            std::make_unique<test::LoopDisk>(test::LoopDisk::Existing{MakeImage(name, bytes, mbr)});
        EXPECT_TRUE(disk->attached()) << disk->error();
        return disk;
    }

    DiskFacts Probe(const test::LoopDisk& attached) {
        int32_t number = NumberOf(*disks, attached.device());
        EXPECT_GE(number, 0) << attached.device() << " is not listed";
        DiskFacts facts;
        EXPECT_TRUE(disks->ProbeDisk(number, facts));
        return facts;
    }

    test::ScratchFolder scratch;
    std::unique_ptr<DiskSystem> disks = CreateNativeDiskSystem();
};

void ExpectImageDisk(const DiskFacts& facts, const std::string& file, int64_t bytes) {
    ASSERT_TRUE(facts.Descriptor && facts.Geometry);
    EXPECT_EQ(facts.Descriptor->BusType, 15);  // FileBackedVirtual
    EXPECT_EQ(facts.Descriptor->ProductId, file);
    EXPECT_EQ(facts.Descriptor->VendorId, "");
    EXPECT_EQ(facts.DriveTypeCode, 3);
    EXPECT_EQ(facts.LengthBytes, bytes);
    EXPECT_EQ(facts.Geometry->BytesPerSector, 512u);
    EXPECT_EQ(facts.Geometry->TracksPerCylinder, 255u);  // loop devices report no geometry
    EXPECT_EQ(facts.Geometry->SectorsPerTrack, 63u);
    EXPECT_EQ(facts.Geometry->Cylinders, bytes / (255 * 63 * 512));
    EXPECT_EQ(facts.Geometry->MediaType, 12u);
    EXPECT_EQ(facts.Geometry->DiskSize, bytes);
    EXPECT_FALSE(facts.HoldsSystem);
}

TEST_F(LoopDisks, ProbingDecodesEachKindOfTable) {
    constexpr int64_t kMiB = 1 << 20;
    Sector one = Mbr({{0x80, 0x0C, 2048, 8192}});
    Sector two = Mbr({{0x80, 0x0C, 2048, 8192}, {0, 0x83, 10240, 20480}}, 0xCAFEF00D);
    Sector gpt = Mbr({{0, 0xEE, 1, 2047}});
    auto tiny = Attach("tiny.img", 100 * 512, nullptr);  // fewer than 256 sectors, no table
    auto single = Attach("single.img", 8 * kMiB, &one);
    auto pair = Attach("pair.img", 16 * kMiB, &two);
    auto guid = Attach("guid.img", kMiB, &gpt);
    disks->Rescan();

    DiskFacts facts = Probe(*tiny);
    ExpectImageDisk(facts, "tiny.img", 100 * 512);
    ASSERT_TRUE(facts.Layout);
    EXPECT_EQ(facts.Layout->PartitionCount, 0u);

    facts = Probe(*single);
    ExpectImageDisk(facts, "single.img", 8 * kMiB);
    ASSERT_TRUE(facts.Layout);
    EXPECT_EQ(facts.Layout->PartitionCount, 4u);
    EXPECT_EQ(facts.Layout->Signature, 0x5EED1234u);
    ExpectEntry(facts.Layout->Entries[0], 512, {2048, 8192, 1, 0x0C, 0x80, 1});
    ExpectEntry(facts.Layout->Entries[1], 512, {});

    facts = Probe(*pair);
    ASSERT_TRUE(facts.Layout);
    EXPECT_EQ(facts.Layout->Signature, 0xCAFEF00Du);
    ExpectEntry(facts.Layout->Entries[1], 512, {10240, 20480, 2, 0x83, 0, 0});

    EXPECT_FALSE(Probe(*guid).Layout);

    // Whatever the kernel does with an MBR by itself, the partitions have nodes.
    for (int number : {1, 2}) {
        struct stat node {};
        EXPECT_EQ(stat(pair->Partition(number).c_str(), &node), 0) << pair->Partition(number);
        EXPECT_TRUE(S_ISBLK(node.st_mode));
    }
    EXPECT_EQ(ReadNumber(DiskFolder(pair->name()) + "/" + pair->name() + "p2/start"), 10240);
}

TEST_F(LoopDisks, LargeLogicalSectorsScaleTheLayout) {
    if (!HasTool("losetup")) GTEST_SKIP() << "losetup is missing";
    Sector mbr = Mbr({{0x80, 0x07, 256, 1024}});
    std::string path = MakeImage("large.img", 8 << 20, &mbr);
    test::LoopDisk attached(test::LoopDisk::Existing{path, 4096});
    ASSERT_TRUE(attached.attached()) << attached.error();
    EXPECT_TRUE(SyncPartitionNodes(attached.name()));
    disks->Rescan();

    DiskFacts facts = Probe(attached);
    ASSERT_TRUE(facts.Geometry && facts.Layout);
    EXPECT_EQ(facts.Geometry->BytesPerSector, 4096u);
    EXPECT_EQ(facts.Geometry->Cylinders, (8 << 20) / (255 * 63 * 4096));
    ExpectEntry(facts.Layout->Entries[0], 4096, {256, 1024, 1, 0x07, 0x80, 1});
    EXPECT_EQ(ReadNumber(DiskFolder(attached.name()) + "/" + attached.name() + "p1/start"),
              256 * 8);  // sysfs counts 512-byte units
}

TEST_F(LoopDisks, FuseVolumesAreLocatedNamedLockedAndDismounted) {
    for (const char* tool : {"mkfs.exfat", "mount.exfat-fuse", "mkntfs", "ntfs-3g"})
        if (!HasTool(tool)) GTEST_SKIP() << tool << " is missing";
    Sector mbr = Mbr({{0x80, 0x07, 2048, 16384}, {0, 0x07, 18432, 16384}});
    auto attached = Attach("volumes.img", 20 << 20, &mbr);
    ASSERT_EQ(
        std::system(("mkfs.exfat -L STICK " + attached->Partition(1) + " >/dev/null").c_str()), 0);
    ASSERT_EQ(std::system(
                  ("mkntfs -Q -L 'NT VOL' " + attached->Partition(2) + " >/dev/null 2>&1").c_str()),
              0);
    FuseMount exfat("mount.exfat-fuse", attached->Partition(1), scratch.file("ex fat"));
    FuseMount ntfs("ntfs-3g", attached->Partition(2), scratch.file("ntfs"));
    ASSERT_TRUE(exfat.mounted() && ntfs.mounted());
    disks->Rescan();
    int32_t number = NumberOf(*disks, attached->device());

    std::vector<std::string> roots = disks->LogicalDriveRoots();
    for (const FuseMount* mount : {&exfat, &ntfs}) {
        EXPECT_EQ(std::count(roots.begin(), roots.end(), mount->path()), 1) << mount->path();
        EXPECT_EQ(disks->VolumeName(mount->path()), mount->path());
        EXPECT_FALSE(disks->IsSystemVolume(mount->path()));
    }
    VolumeLocation location;
    ASSERT_TRUE(disks->LocateVolume(exfat.path(), location));
    EXPECT_EQ(location.DiskNumber, number);
    EXPECT_EQ(location.PartitionNumber, 1);
    ASSERT_TRUE(disks->LocateVolume(ntfs.path(), location));
    EXPECT_EQ(location.PartitionNumber, 2);
    EXPECT_FALSE(disks->LocateVolume(scratch.file("not mounted"), location));
    EXPECT_EQ(disks->FileSystemName(exfat.path()), "exFAT");
    EXPECT_EQ(disks->VolumeLabel(exfat.path()), "STICK");
    EXPECT_EQ(disks->FileSystemName(ntfs.path()), "NTFS");
    EXPECT_EQ(disks->VolumeLabel(ntfs.path()), "NT VOL");
    EXPECT_EQ(disks->VolumeName("relative"), "");

    // The volume handle reaches the partition, not the disk: the exFAT boot sector.
    auto volume = disks->OpenVolume(exfat.path(), true);
    ASSERT_TRUE(volume);
    char boot[512];
    ASSERT_EQ(volume->ReadAt(0, boot, sizeof(boot)), 512);
    EXPECT_EQ(std::string(boot + 3, 8), "EXFAT   ");
    EXPECT_EQ(volume->Length(), 16384 * 512);
    EXPECT_EQ(volume->ReadAt(volume->Length() - 100, boot, sizeof(boot)), 100);  // ends early

    {
        std::ofstream busy(exfat.path() + "/open.txt");
        ASSERT_TRUE(busy);
        EXPECT_FALSE(volume->Lock());
    }
    EXPECT_TRUE(volume->Lock());
    EXPECT_TRUE(volume->Dismount());
    EXPECT_FALSE(Mounted(exfat.path()));
    EXPECT_TRUE(Mounted(ntfs.path()));
    EXPECT_TRUE(volume->Unlock());
    roots = disks->LogicalDriveRoots();
    EXPECT_EQ(std::count(roots.begin(), roots.end(), exfat.path()), 0);
}

TEST_F(LoopDisks, DiskHandlesMoveWholeBlocksAndLockExclusively) {
    Sector mbr = Mbr({{0x80, 0x0C, 2048, 2048}});
    auto attached = Attach("raw.img", 2 << 20, &mbr);
    disks->Rescan();
    int32_t number = NumberOf(*disks, attached->device());
    auto writer = disks->OpenDisk(number, true);
    auto reader = disks->OpenDisk(number, false);
    ASSERT_TRUE(writer && reader);
    EXPECT_EQ(writer->Length(), 2 << 20);

    Sector read{};
    ASSERT_EQ(reader->ReadAt(0, read.data(), 512), 512);
    EXPECT_EQ(read, mbr);
    std::vector<char> pattern(3 * 512, 'x');
    EXPECT_EQ(writer->WriteAt(4096, pattern.data(), int64_t(pattern.size())), 3 * 512);
    std::vector<char> back(pattern.size());
    EXPECT_EQ(reader->ReadAt(4096, back.data(), int64_t(back.size())), 3 * 512);
    EXPECT_EQ(back, pattern);
    EXPECT_EQ(writer->WriteAt(-1, pattern.data(), 512), 0);
    EXPECT_EQ(writer->WriteAt(0, pattern.data(), 0), 0);

    EXPECT_TRUE(writer->Lock());
    EXPECT_FALSE(reader->Lock());  // one holder at a time
    EXPECT_TRUE(writer->Unlock());
    EXPECT_TRUE(reader->Lock());
    writer.reset();
    reader.reset();  // closing releases the lock
    auto again = disks->OpenDisk(number, false);
    ASSERT_TRUE(again);
    EXPECT_TRUE(again->Lock());
}

// Calls of the watch while an image with two partitions (several uevents) is attached.
int ChangesDuringAttach(const std::function<std::unique_ptr<test::LoopDisk>()>& attach) {
    std::atomic<int> changes{0};
    auto watch = WatchDeviceChanges([&] { ++changes; });
    EXPECT_TRUE(watch);
    auto attached = attach();
    for (int waited = 0; changes == 0 && waited < 3000; waited += 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    watch.reset();  // stops without waiting for another event
    return changes;
}

TEST_F(LoopDisks, DeviceWatchReportsAnAttachOnce) {
    Sector mbr = Mbr({{0x80, 0x0C, 2048, 2048}, {0, 0x0C, 4096, 2048}});
    int tries = 0, changes = 0;
    // Tests running beside this one make uevents too; one quiet try is enough.
    while (changes != 1 && tries++ < 3) {
        changes = ChangesDuringAttach(
            [&] { return Attach("watched" + std::to_string(tries) + ".img", 4 << 20, &mbr); });
        EXPECT_GE(changes, 1);
    }
    EXPECT_EQ(changes, 1);
}

TEST_F(LoopDisks, EjectUnmountsAndDetachesALoopDisk) {
    if (!HasTool("mkfs.exfat") || !HasTool("mount.exfat-fuse"))
        GTEST_SKIP() << "exfatprogs or exfat-fuse is missing";
    Sector mbr = Mbr({{0x80, 0x07, 2048, 16384}});
    auto attached = Attach("eject.img", 10 << 20, &mbr);
    ASSERT_EQ(std::system(("mkfs.exfat " + attached->Partition(1) + " >/dev/null").c_str()), 0);
    FuseMount mount("mount.exfat-fuse", attached->Partition(1), scratch.file("stick"));
    ASSERT_TRUE(mount.mounted());
    disks->Rescan();

    EXPECT_TRUE(disks->EjectDisk(NumberOf(*disks, attached->device()), ""));
    EXPECT_FALSE(Mounted(mount.path()));
    EXPECT_FALSE(fs::exists(DiskFolder(attached->name()) + "/loop/backing_file"));
    EXPECT_FALSE(fs::exists(attached->Partition(1)));
}

// The disk under / is listed, marked and refused; it is never ejected here.
TEST(SystemDisk, TheDiskUnderRootIsMarked) {
    auto disks = CreateNativeDiskSystem();
    EXPECT_TRUE(disks->IsSystemVolume("/"));
    EXPECT_TRUE(disks->IsSystemVolume("/boot/efi"));
    EXPECT_EQ(disks->WriteRightsProblem().empty(), geteuid() == 0);

    struct stat root {};
    ASSERT_EQ(stat("/", &root), 0);
    std::vector<std::string> under = UnderlyingDisks(root.st_dev);
    if (under.empty()) GTEST_SKIP() << "/ lies on no block device";
    disks->Rescan();
    int32_t number = NumberOf(*disks, "/dev/" + under[0]);
    ASSERT_GE(number, 0) << under[0] << " is not listed";
    DiskFacts facts;
    ASSERT_TRUE(disks->ProbeDisk(number, facts));  // even where the disk refuses to open
    EXPECT_TRUE(facts.HoldsSystem);
    EXPECT_GT(facts.LengthBytes, 0);
    EXPECT_TRUE(facts.Geometry);
}

}  // namespace
