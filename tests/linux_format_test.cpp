// The Linux format service and program volumes: the tool commands and the meaning of their
// messages on their own, then real loop devices, mkfs tools and FUSE mounts as root.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "platform/disks.h"
#include "platform/linux/mkfs_command.h"
#include "platform/linux/mounts.h"
#include "platform/linux/program_volumes.h"
#include "platform/linux/sysfs.h"
#include "platform/linux/unique_fd.h"
#include "platform/linux/volume_identity.h"
#include "platform/linux/volume_mount.h"
#include "tests/loop_disk.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;
using namespace platform;
using namespace platform::linuxos;

namespace {

using Argv = std::vector<std::string>;

FormatRequest Request(const std::string& fileSystem, const std::string& label, bool quick,
                      uint32_t clusterSize = 0, const std::string& letter = "") {
    FormatRequest request;
    request.letter = letter;
    request.fileSystem = fileSystem;
    request.label = label;
    request.quick = quick;
    request.clusterSize = clusterSize;
    return request;
}

TEST(MkfsCommands, TellTheToolsWhereThePartitionStartsAndWhatTheDiskLooksLike) {
    FormatTarget target{"/dev/sdx1", 2048, 512, 255, 63};
    auto fat = PlanMkfs(Request("FAT32", "STICK", true, 4096), target);
    ASSERT_TRUE(fat);
    EXPECT_EQ(fat->argv, (Argv{"mkfs.fat", "-F", "32", "-h", "2048", "-g", "255/63", "-n", "STICK",
                               "-s", "8", "/dev/sdx1"}));
    EXPECT_EQ(fat->probedType, "vfat");

    // 4096-byte sectors: the start and the cluster count in those sectors.
    auto large = PlanMkfs(Request("FAT32", "", true, 32768), {"/dev/sdx1", 256, 4096, 255, 63});
    ASSERT_TRUE(large);
    EXPECT_EQ(large->argv,
              (Argv{"mkfs.fat", "-F", "32", "-h", "256", "-g", "255/63", "-s", "8", "/dev/sdx1"}));

    auto ntfs = PlanMkfs(Request("NTFS", "Data", true, 65536), target);
    ASSERT_TRUE(ntfs);
    EXPECT_EQ(ntfs->argv, (Argv{"mkntfs", "-p", "2048", "-H", "255", "-S", "63", "-Q", "-L", "Data",
                                "-c", "65536", "/dev/sdx1"}));
    EXPECT_FALSE(ntfs->toolZeroes);
}

TEST(MkfsCommands, FullFormatsClearTheVolumeOnce) {
    FormatTarget target{"/dev/sdx1", 63, 512, 16, 32};
    // mkntfs clears it itself (and shows how far it got); the others are cleared before.
    auto ntfs = PlanMkfs(Request("NTFS", "", false), target);
    ASSERT_TRUE(ntfs);
    EXPECT_TRUE(ntfs->toolZeroes);
    EXPECT_EQ(std::count(ntfs->argv.begin(), ntfs->argv.end(), "-Q"), 0);
    EXPECT_EQ(ntfs->argv, (Argv{"mkntfs", "-p", "63", "-H", "16", "-S", "32", "/dev/sdx1"}));

    // -f would make mkfs.exfat clear the whole volume a second time.
    auto exfat = PlanMkfs(Request("exFAT", "Ex Label", false, 131072), target);
    ASSERT_TRUE(exfat);
    EXPECT_FALSE(exfat->toolZeroes);
    EXPECT_EQ(exfat->argv, (Argv{"mkfs.exfat", "-L", "Ex Label", "-c", "131072", "/dev/sdx1"}));

    auto udf = PlanMkfs(Request("UDF", "Disc", false, 2048), target);
    ASSERT_TRUE(udf);
    EXPECT_EQ(udf->argv, (Argv{"mkudffs", "--label=Disc", "--blocksize=2048", "/dev/sdx1"}));
    EXPECT_EQ(udf->probedType, "udf");

    EXPECT_FALSE(PlanMkfs(Request("FAT32-LBA", "", true), target));  // mapped by the caller
    EXPECT_EQ(MkfsTool("exFAT"), "mkfs.exfat");
    EXPECT_EQ(MkfsTool("HFS+"), "");
}

TEST(MkfsCommands, ClusterSizesAreCheckedPerFileSystem) {
    for (const char* fileSystem : {"FAT32", "exFAT", "NTFS", "UDF"}) {
        EXPECT_TRUE(ClusterSizeFits(fileSystem, 0, 4096)) << fileSystem;
        EXPECT_TRUE(ClusterSizeFits(fileSystem, 4096, 512)) << fileSystem;
        EXPECT_FALSE(ClusterSizeFits(fileSystem, 3000, 512)) << fileSystem;
        EXPECT_FALSE(ClusterSizeFits(fileSystem, 2048, 4096)) << fileSystem;  // below a sector
    }
    EXPECT_TRUE(ClusterSizeFits("FAT32", 65536, 512));
    EXPECT_FALSE(ClusterSizeFits("FAT32", 131072, 512));  // 256 sectors per cluster
    EXPECT_TRUE(ClusterSizeFits("FAT32", 131072, 4096));
    EXPECT_TRUE(ClusterSizeFits("exFAT", 32u << 20, 512));
    EXPECT_FALSE(ClusterSizeFits("exFAT", 64u << 20, 512));  // mkfs.exfat fails with status 0
    EXPECT_TRUE(ClusterSizeFits("NTFS", 2u << 20, 512));
    EXPECT_FALSE(ClusterSizeFits("NTFS", 4u << 20, 4096));
    EXPECT_FALSE(ClusterSizeFits("UDF", 65536, 512));
    EXPECT_FALSE(ClusterSizeFits("HFS+", 4096, 512));
}

// The messages are the tools' own, as Debian's versions print them.
TEST(MkfsMessages, NameTheErrorCommands) {
    const std::string lowercase = "mkfs.fat: Warning: lowercase labels might not work properly\n";
    EXPECT_EQ(FailureCommand(lowercase + "Label can be no longer than 11 characters\n", false),
              kFormatBadLabel);
    EXPECT_EQ(FailureCommand("Labels with characters *?.,;:/\\|+=<>[]\" are not allowed", false),
              kFormatBadLabel);
    EXPECT_EQ(FailureCommand("input string is too long\n\nexFAT format fail!\n", false),
              kFormatBadLabel);
    // A busy device explains a label complaint that follows from it.
    EXPECT_EQ(FailureCommand(lowercase + "/dev/sdb1 contains a mounted filesystem.\n", false),
              kFormatVolumeInUse);
    EXPECT_EQ(FailureCommand("Device is mounted or mkudffs is already running", false),
              kFormatVolumeInUse);
    EXPECT_EQ(FailureCommand("open: Permission denied", false), kFormatAccessDenied);
    EXPECT_EQ(FailureCommand("Read-only file system", false), kFormatWriteProtected);

    EXPECT_EQ(FailureCommand("Bad number of sectors per cluster : 3", true), kFormatBadClusterSize);
    EXPECT_EQ(FailureCommand("The cluster size is invalid.  It must be a power of two", true),
              kFormatBadClusterSize);
    EXPECT_EQ(FailureCommand("mkudffs: Error: Invalid value for option --blocksize", true),
              kFormatBadClusterSize);
    // Without a cluster size asked for, too few clusters means too small a volume.
    const std::string clusters =
        "Not enough or too many clusters for filesystem - try less or more sectors per cluster";
    EXPECT_EQ(FailureCommand(clusters, true), kFormatBadClusterSize);
    EXPECT_EQ(FailureCommand(clusters, false), kFormatTooSmall);
    // mkfs.exfat announces the size it uses; that alone blames nothing.
    EXPECT_EQ(FailureCommand("Creating exFAT filesystem(/dev/loop1p1, cluster size=33554432)\n"
                             "write failed(errno : 28)\nexFAT format fail!",
                             true),
              0u);

    EXPECT_EQ(FailureCommand("boundary alignment is too big\nexFAT format fail!", false),
              kFormatTooSmall);
    EXPECT_EQ(
        FailureCommand("Device is too small (299kiB).  Minimum NTFS volume size is 1MiB.", false),
        kFormatTooSmall);
    EXPECT_EQ(FailureCommand("Input/output error", false), 0u);

    EXPECT_EQ(FailureCommandOfErrno(EBUSY), kFormatVolumeInUse);
    EXPECT_EQ(FailureCommandOfErrno(EACCES), kFormatAccessDenied);
    EXPECT_EQ(FailureCommandOfErrno(EROFS), kFormatWriteProtected);
    EXPECT_EQ(FailureCommandOfErrno(EIO), 0u);
}

TEST(MkfsMessages, PercentagesAreReadAcrossPieces) {
    PercentReader reader;
    EXPECT_EQ(reader.Feed("Initializing device with zeroes:   0%\b\b\b\b  1"),
              (std::vector<uint32_t>{0}));
    EXPECT_EQ(reader.Feed("2%\b\b\b\b 13%\b\b\b\b"), (std::vector<uint32_t>{12, 13}));
    EXPECT_EQ(reader.Feed("100% - Done.\n12345% 7 %"), (std::vector<uint32_t>{100}));
}

TEST(MountTable, KeepsTheOptionsOfMountAndFileSystem) {
    auto mounts = ParseMountInfo(
        "44 26 259:0 / /mnt/a rw,nosuid,nodev,relatime shared:1 - fuseblk /dev/loop0p1 "
        "rw,user_id=0,allow_other\n"
        "45 26 8:1 / /mnt/b ro,noatime - vfat /dev/sdb1 ro,fmask=0022\n");
    ASSERT_EQ(mounts.size(), 2u);
    EXPECT_EQ(mounts[0].options, "rw,nosuid,nodev,relatime");
    EXPECT_EQ(mounts[0].superOptions, "rw,user_id=0,allow_other");
    EXPECT_EQ(mounts[1].options, "ro,noatime");
    EXPECT_EQ(mounts[1].superOptions, "ro,fmask=0022");
}

// Root-only parts: loop devices, mkfs tools, FUSE mounts.

constexpr int64_t kMiB = 1 << 20;
constexpr uint32_t kStart = 2048;

bool HasTool(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

bool KernelHas(const std::string& fsType) {
    std::ifstream in("/proc/filesystems");
    for (std::string line; std::getline(in, line);)
        if (line.size() > fsType.size() && line.ends_with("\t" + fsType)) return true;
    return false;
}

bool Mounted(const std::string& folder) {
    std::vector<Mount> mounts = ReadMounts();
    return std::any_of(mounts.begin(), mounts.end(),
                       [&](const Mount& mount) { return mount.mountPoint == folder; });
}

std::string Output(const std::string& command) {
    std::string text;
    FILE* out = popen(command.c_str(), "r");
    if (!out) return text;
    char buffer[512];
    while (size_t n = fread(buffer, 1, sizeof(buffer), out)) text.append(buffer, n);
    pclose(out);
    return text;
}

// A value `blkid -p` finds on the node.
std::string Blkid(const std::string& node, const std::string& tag) {
    std::string value = Output("blkid -p -o value -s " + tag + " " + node);
    return value.substr(0, value.find('\n'));
}

// Whether a child of this process runs the program; tests beside this one may run it too.
bool ChildRunning(const std::string& name) {
    for (const auto& entry : fs::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line) || line.find("(" + name + ")") == std::string::npos) continue;
        std::istringstream fields(line.substr(line.rfind(')') + 1));
        std::string state;
        pid_t parent = 0;
        if (fields >> state >> parent && parent == getpid()) return true;
    }
    return false;
}

uint32_t Le(const std::vector<uint8_t>& bytes, size_t at, size_t width) {
    uint32_t value = 0;
    for (size_t i = 0; i < width; ++i) value |= uint32_t(bytes[at + i]) << (8 * i);
    return value;
}

std::vector<uint8_t> ReadNode(const std::string& node, int64_t offset, size_t bytes) {
    std::vector<uint8_t> data(bytes);
    UniqueFd fd(open(node.c_str(), O_RDONLY | O_CLOEXEC));
    EXPECT_TRUE(fd) << node;
    if (fd) {
        EXPECT_EQ(pread(fd.get(), data.data(), bytes, offset), ssize_t(bytes));
    }
    return data;
}

void WriteNode(const std::string& node, int64_t offset, const std::vector<uint8_t>& data) {
    UniqueFd fd(open(node.c_str(), O_WRONLY | O_CLOEXEC));
    ASSERT_TRUE(fd) << node;
    ASSERT_EQ(pwrite(fd.get(), data.data(), data.size(), offset), ssize_t(data.size()));
    fsync(fd.get());
}

// An MBR with one partition of type 0x0C.
std::vector<uint8_t> Mbr(uint32_t start, uint32_t count) {
    std::vector<uint8_t> sector(512);
    sector[446] = 0x80;
    sector[446 + 4] = 0x0C;
    for (int i = 0; i < 4; ++i) {
        sector[446 + 8 + i] = uint8_t(start >> (8 * i));
        sector[446 + 12 + i] = uint8_t(count >> (8 * i));
    }
    sector[510] = 0x55;
    sector[511] = 0xAA;
    return sector;
}

// One report of the format service, its information decoded.
struct Report {
    uint32_t command = 0;
    uint32_t value = 0;  // the percentage of 0, the success flag of 11
};

using Reports = std::vector<Report>;

std::vector<uint32_t> Commands(const Reports& reports) {
    std::vector<uint32_t> commands;
    for (const Report& report : reports)
        if (report.command != kFormatOutput) commands.push_back(report.command);
    return commands;
}

std::vector<uint32_t> Percentages(const Reports& reports) {
    std::vector<uint32_t> percentages;
    for (const Report& report : reports)
        if (report.command == kFormatProgress) percentages.push_back(report.value);
    return percentages;
}

bool Succeeded(const Reports& reports) {
    return !reports.empty() && reports.back().command == kFormatDone && reports.back().value == 1;
}

bool FailedWith(const Reports& reports, uint32_t command) {
    std::vector<uint32_t> commands = Commands(reports);
    return commands.size() >= 2 && commands[commands.size() - 2] == command &&
           commands.back() == kFormatDone && reports.back().value == 0;
}

// A loop disk with one partition from sector 2048 to its end, given a program volume.
class ProgramVolumes : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_ROOT("loop devices and mounts");
        std::string image = scratch.file("stick.img"), error;
        ASSERT_TRUE(CreateImageFile(image, kBytes, error)) << error;
        std::fstream file(image, std::ios::in | std::ios::out | std::ios::binary);
        std::vector<uint8_t> mbr = Mbr(kStart, kSectors);
        file.write(reinterpret_cast<const char*>(mbr.data()), 512);
        file.close();
        device = AttachImage(image, error);
        ASSERT_FALSE(device.empty()) << error;
        node = device + "p1";
        disks->Rescan();
        for (int32_t candidate = 0; candidate < 50 && number < 0; ++candidate)
            if (disks->DevicePath(candidate) == device) number = candidate;
        ASSERT_GE(number, 0);
        letter = disks->AssignDriveLetter(number);
        ASSERT_FALSE(letter.empty());
    }

    void TearDown() override {
        std::string error;
        if (!device.empty()) {
            EXPECT_TRUE(DetachImage(device, error)) << error;
        }
        if (!letter.empty()) {
            EXPECT_FALSE(fs::exists(letter)) << "left behind: " << letter;
        }
    }

    Reports Format(const FormatRequest& request,
                   const std::function<bool(const Report&)>& answer = nullptr) {
        Reports reports;
        FormatRequest named = request;
        named.letter = letter;
        auto status =
            disks->RunFormatService(named, [&](uint32_t command, uint32_t, const void* info) {
                Report report{command, 0};
                if (command == kFormatProgress) report.value = *static_cast<const uint32_t*>(info);
                if (command == kFormatDone) report.value = *static_cast<const uint8_t*>(info);
                reports.push_back(report);
                return !answer || answer(report);
            });
        EXPECT_EQ(status, FormatServiceStatus::Ran);
        return reports;
    }

    static constexpr int64_t kBytes = 96 * kMiB;
    static constexpr uint32_t kSectors = uint32_t(kBytes / 512) - kStart;

    test::ScratchFolder scratch;
    std::unique_ptr<DiskSystem> disks = CreateNativeDiskSystem();
    std::string device, node, letter;
    int32_t number = -1;
};

TEST_F(ProgramVolumes, AFolderStandsForPartitionOneBeforeItHasAFileSystem) {
    EXPECT_EQ(fs::path(letter).parent_path(), fs::path(ProgramVolumeRoot()));
    EXPECT_TRUE(fs::is_directory(letter));
    EXPECT_FALSE(Mounted(letter));
    EXPECT_EQ(disks->AssignDriveLetter(number), letter);  // asked again: the same folder

    std::vector<std::string> roots = disks->LogicalDriveRoots();
    EXPECT_EQ(std::count(roots.begin(), roots.end(), letter), 1);
    EXPECT_EQ(disks->LetterOfRoot(letter), letter);
    VolumeLocation location;
    ASSERT_TRUE(disks->LocateVolume(letter, location));
    EXPECT_EQ(location.DiskNumber, number);
    EXPECT_EQ(location.PartitionNumber, 1);
    EXPECT_EQ(disks->VolumeName(letter), letter);
    EXPECT_FALSE(disks->IsSystemVolume(letter));
    EXPECT_EQ(disks->FileSystemName(letter), "");

    auto found = VolumeAtLetter(letter);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->node, node);
    EXPECT_TRUE(found->programVolume);
    EXPECT_FALSE(found->mounted);

    // The workflow's sequence: open by the letter, lock, dismount, unlock.
    auto volume = disks->OpenVolume(letter, true);
    ASSERT_TRUE(volume);
    EXPECT_EQ(volume->Length(), int64_t(kSectors) * 512);
    EXPECT_TRUE(volume->Lock());
    EXPECT_TRUE(volume->Dismount());
    EXPECT_TRUE(volume->Unlock());
    volume.reset();
    EXPECT_TRUE(fs::is_directory(letter));  // a dismount keeps the letter

    EXPECT_FALSE(disks->LocateVolume(scratch.file("elsewhere"), location));
    EXPECT_EQ(disks->AssignDriveLetter(70), "");
}

TEST_F(ProgramVolumes, QuickFormatsMakeEachFileSystemWithItsLabel) {
    struct Case {
        const char* fileSystem;
        const char* label;
        const char* type;
        const char* fuseHelper;
    };
    for (const Case& c :
         {Case{"FAT32", "STICKFORGE", "vfat", ""},
          Case{"exFAT", "Stick Ex", "exfat", "mount.exfat-fuse"},
          Case{"NTFS", "Stick NT", "ntfs", "ntfs-3g"}, Case{"UDF", "Stick UDF", "udf", ""}}) {
        SCOPED_TRACE(c.fileSystem);
        if (!HasTool(MkfsTool(c.fileSystem))) {
            std::printf("skipped %s: %s is missing\n", c.fileSystem,
                        MkfsTool(c.fileSystem).c_str());
            continue;
        }
        Reports reports = Format(Request(c.fileSystem, c.label, true));
        std::vector<uint32_t> commands = Commands(reports);
        EXPECT_EQ(std::count(commands.begin(), commands.end(), kFormatCreating), 1);
        EXPECT_TRUE(Percentages(reports).empty());  // nothing to clear on a quick format
        EXPECT_TRUE(Succeeded(reports));
        EXPECT_EQ(Blkid(node, "TYPE"), c.type);
        EXPECT_EQ(Blkid(node, "LABEL"), c.label);
        EXPECT_EQ(disks->FileSystemName(letter), c.fileSystem);
        EXPECT_EQ(disks->VolumeLabel(letter), c.label);

        bool mountable = KernelHas(c.type) || (*c.fuseHelper && HasTool(c.fuseHelper));
        EXPECT_EQ(Mounted(letter), mountable);
        auto found = VolumeAtLetter(letter);
        ASSERT_TRUE(found);
        EXPECT_EQ(found->mounted, mountable);  // else mtools reaches the node
        EXPECT_EQ(found->node, node);
        VolumeLocation location;
        ASSERT_TRUE(disks->LocateVolume(letter, location));
        EXPECT_EQ(location.PartitionNumber, 1);
    }
}

TEST_F(ProgramVolumes, BootSectorsCarryThePartitionStartAndGeometry) {
    Reports reports = Format(Request("FAT32", "BOOT", true));
    ASSERT_TRUE(Succeeded(reports));
    std::vector<uint8_t> bpb = ReadNode(node, 0, 512);
    EXPECT_EQ(Le(bpb, 28, 4), kStart);  // hidden sectors
    EXPECT_EQ(Le(bpb, 24, 2), 63u);
    EXPECT_EQ(Le(bpb, 26, 2), 255u);
    if (HasTool("fsck.fat")) {
        EXPECT_EQ(std::system(("fsck.fat -n " + node + " >/dev/null").c_str()), 0);
    }

    if (HasTool("mkntfs")) {
        ASSERT_TRUE(Succeeded(Format(Request("NTFS", "", true))));
        std::vector<uint8_t> ntfs = ReadNode(node, 0, 512);
        EXPECT_EQ(Le(ntfs, 28, 4), kStart);
        EXPECT_EQ(Le(ntfs, 24, 2), 63u);
        EXPECT_EQ(Le(ntfs, 26, 2), 255u);
    }

    if (!HasTool("mkfs.exfat")) GTEST_SKIP() << "exfatprogs is missing";
    ASSERT_TRUE(Succeeded(Format(Request("exFAT", "EX", true))));
    // The exFAT boot code takes every LBA from PartitionOffset.
    std::vector<uint8_t> exfat = ReadNode(node, 0, 512);
    EXPECT_EQ(Le(exfat, 64, 4) | uint64_t(Le(exfat, 68, 4)) << 32, kStart);
    auto volume = disks->OpenVolume(letter, true);  // fsck wants it unmounted
    ASSERT_TRUE(volume && volume->Lock() && volume->Dismount());
    volume.reset();
    if (HasTool("fsck.exfat")) {
        EXPECT_EQ(std::system(("fsck.exfat -n " + node + " >/dev/null 2>&1").c_str()), 0);
    }
}

TEST_F(ProgramVolumes, FullFormatClearsTheVolumeReportingRisingPercentages) {
    std::vector<uint8_t> marker(512, 0xA5);
    int64_t last = int64_t(kSectors) * 512 - 512;
    WriteNode(node, last, marker);
    Reports reports = Format(Request("FAT32", "FULL", false));
    EXPECT_TRUE(Succeeded(reports));
    std::vector<uint32_t> percentages = Percentages(reports);
    ASSERT_EQ(percentages.size(), 6u);  // 95 MiB in 16 MiB chunks
    EXPECT_EQ(std::adjacent_find(percentages.begin(), percentages.end(), std::greater_equal<>()),
              percentages.end());
    EXPECT_EQ(percentages.back(), 100u);
    std::vector<uint32_t> commands = Commands(reports);
    EXPECT_EQ(commands[percentages.size()], kFormatCreating);  // clearing comes first
    EXPECT_EQ(ReadNode(node, last, 512), std::vector<uint8_t>(512, 0));
}

TEST_F(ProgramVolumes, AnsweringFalseStopsClearingAndTheTool) {
    std::vector<uint8_t> marker(512, 0xA5);
    int64_t last = int64_t(kSectors) * 512 - 512;
    WriteNode(node, last, marker);
    Reports reports = Format(Request("exFAT", "", false), [](const Report& report) {
        return report.command != kFormatProgress;
    });
    std::vector<uint32_t> commands = Commands(reports);
    EXPECT_EQ(commands, (std::vector<uint32_t>{kFormatProgress, kFormatDone}));
    EXPECT_EQ(reports.back().value, 0u);
    EXPECT_EQ(ReadNode(node, last, 512), marker);  // the clearing ended after one chunk

    if (!HasTool("mkntfs")) GTEST_SKIP() << "ntfs-3g is missing";
    // mkntfs clears the volume itself: stopped at its first percentage, it is killed.
    reports = Format(Request("NTFS", "", false), [](const Report& report) {
        return report.command != kFormatProgress || report.value == 0;
    });
    commands = Commands(reports);
    ASSERT_GE(commands.size(), 3u);
    EXPECT_EQ(commands[0], kFormatCreating);
    EXPECT_EQ(commands.back(), kFormatDone);
    EXPECT_EQ(reports.back().value, 0u);
    EXPECT_FALSE(ChildRunning("mkntfs"));
    EXPECT_NE(ProbedType(node), "ntfs");  // stopped long before its end
}

TEST_F(ProgramVolumes, RefusalsAreReportedWithTheirCommands) {
    // A cluster size no FAT32 can have never reaches the tool.
    Reports reports = Format(Request("FAT32", "", true, 3000));
    EXPECT_EQ(Commands(reports), (std::vector<uint32_t>{kFormatBadClusterSize, kFormatDone}));
    EXPECT_EQ(reports.back().value, 0u);

    reports = Format(Request("FAT32", "A*B", true));
    EXPECT_TRUE(FailedWith(reports, kFormatBadLabel));

    {
        UniqueFd holder(open(node.c_str(), O_RDONLY | O_EXCL | O_CLOEXEC));
        ASSERT_TRUE(holder);
        EXPECT_TRUE(FailedWith(Format(Request("FAT32", "", true)), kFormatVolumeInUse));
    }

    UniqueFd partition(open(node.c_str(), O_RDONLY | O_CLOEXEC));
    int readOnly = 1;
    ASSERT_EQ(ioctl(partition.get(), BLKROSET, &readOnly), 0);
    reports = Format(Request("FAT32", "", true));
    readOnly = 0;
    ioctl(partition.get(), BLKROSET, &readOnly);
    EXPECT_TRUE(FailedWith(reports, kFormatWriteProtected));

    reports = Format(Request("HFS+", "", true));
    EXPECT_EQ(Commands(reports), (std::vector<uint32_t>{kFormatDone}));
    EXPECT_EQ(reports.back().value, 0u);
    EXPECT_EQ(ProbedType(node), "");  // nothing was made
}

TEST_F(ProgramVolumes, RemountKeepsTheLetterAndTheDriver) {
    for (const char* tool : {"mkfs.exfat", "mount.exfat-fuse"})
        if (!HasTool(tool)) GTEST_SKIP() << tool << " is missing";
    ASSERT_TRUE(Succeeded(Format(Request("exFAT", "REMOUNT", true))));
    ASSERT_TRUE(Mounted(letter));
    test::WriteFile(letter + "/kept.txt", "kept");
    EXPECT_TRUE(disks->RemountVolume(letter));
    EXPECT_TRUE(Mounted(letter));
    EXPECT_EQ(test::ReadFile(letter + "/kept.txt"), "kept");

    // A mount point of someone else's keeps its FUSE driver.
    ASSERT_TRUE(UnmountFolder(letter));
    std::string elsewhere = scratch.file("mounted by hand");
    fs::create_directories(elsewhere);
    ASSERT_EQ(std::system(("mount.exfat-fuse " + node + " '" + elsewhere + "'").c_str()), 0);
    std::vector<std::string> roots = disks->LogicalDriveRoots();
    EXPECT_EQ(std::count(roots.begin(), roots.end(), elsewhere), 1);
    EXPECT_EQ(std::count(roots.begin(), roots.end(), letter), 0);  // mounted elsewhere
    EXPECT_EQ(disks->AssignDriveLetter(number), elsewhere);
    EXPECT_TRUE(disks->RemountVolume(elsewhere));
    auto mount = MountOn(elsewhere);
    ASSERT_TRUE(mount);
    EXPECT_EQ(mount->fsType, "fuseblk");
    EXPECT_EQ(test::ReadFile(elsewhere + "/kept.txt"), "kept");
    EXPECT_TRUE(UnmountFolder(elsewhere));
}

// exFAT's boot-region checksum over sectors 0-10, stored all over sector 11.
void StoreExFatChecksum(std::vector<uint8_t>& region) {
    uint32_t sum = 0;
    for (size_t i = 0; i < 11 * 512; ++i)
        if (i != 106 && i != 107 && i != 112) sum = ((sum >> 1) | (sum << 31)) + region[i];
    for (size_t at = 11 * 512; at < 12 * 512; at += 4)
        for (size_t i = 0; i < 4; ++i) region[at + i] = uint8_t(sum >> (8 * i));
}

TEST_F(ProgramVolumes, ABootSectorWrittenUnderALockOutlivesTheDriver) {
    for (const char* tool : {"mkfs.exfat", "mount.exfat-fuse"})
        if (!HasTool(tool)) GTEST_SKIP() << tool << " is missing";
    ASSERT_TRUE(Succeeded(Format(Request("exFAT", "LOCKED", true))));
    ASSERT_TRUE(Mounted(letter));
    auto volume = disks->OpenVolume(letter, true);
    ASSERT_TRUE(volume && volume->Lock());
    EXPECT_FALSE(Mounted(letter));  // the driver wrote its copy back while letting go

    std::vector<uint8_t> region(12 * 512);
    ASSERT_EQ(volume->ReadAt(0, region.data(), int64_t(region.size())), int64_t(region.size()));
    region[300] ^= 0xFF;  // boot code
    StoreExFatChecksum(region);
    ASSERT_EQ(volume->WriteAt(0, region.data(), int64_t(region.size())), int64_t(region.size()));
    EXPECT_TRUE(volume->Unlock());
    EXPECT_TRUE(Mounted(letter));  // given back
    volume.reset();
    EXPECT_TRUE(disks->RemountVolume(letter));
    EXPECT_TRUE(Mounted(letter));  // the driver accepts the new checksum

    std::vector<uint8_t> now = ReadNode(node, 0, region.size());
    EXPECT_EQ(now[300], region[300]);
    EXPECT_TRUE(std::equal(now.begin() + 11 * 512, now.end(), region.begin() + 11 * 512));
}

TEST_F(ProgramVolumes, RemountOfAKernelMountKeepsItsOptions) {
    if (!HasTool("mkfs.ext4") || !KernelHas("ext4")) GTEST_SKIP() << "no ext4 to mount";
    ASSERT_EQ(std::system(("mkfs.ext4 -q " + node).c_str()), 0);
    std::string folder = scratch.file("ext4");
    fs::create_directories(folder);
    ASSERT_EQ(
        mount(node.c_str(), folder.c_str(), "ext4", MS_NOATIME | MS_NOEXEC, "errors=remount-ro"),
        0);
    EXPECT_TRUE(disks->RemountVolume(folder));
    auto again = MountOn(folder);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->fsType, "ext4");
    EXPECT_NE(again->options.find("noatime"), std::string::npos);
    EXPECT_NE(again->options.find("noexec"), std::string::npos);
    EXPECT_NE(again->superOptions.find("errors=remount-ro"), std::string::npos);
    EXPECT_EQ(umount2(folder.c_str(), 0), 0);
}

TEST_F(ProgramVolumes, ANewTableIsTakenInWhileTheDiskIsLocked) {
    auto disk = disks->OpenDisk(number, true);
    ASSERT_TRUE(disk && disk->Lock());
    std::string start = DiskFolder(fs::path(device).filename().string()) + "/" +
                        fs::path(node).filename().string() + "/start";
    ASSERT_EQ(ReadNumber(start), kStart);

    std::vector<uint8_t> moved = Mbr(4096, kSectors - 2048);
    ASSERT_EQ(disk->WriteAt(0, moved.data(), 512), 512);
    disk->UpdateProperties();
    EXPECT_EQ(ReadNumber(start), 4096);
    struct stat info {};
    EXPECT_EQ(stat(node.c_str(), &info), 0);
    EXPECT_TRUE(S_ISBLK(info.st_mode));
    std::vector<std::string> roots = disks->LogicalDriveRoots();
    EXPECT_EQ(std::count(roots.begin(), roots.end(), letter), 1);  // partition 1 is still there

    // Without a partition 1 the folder stands for nothing and goes.
    std::vector<uint8_t> empty = Mbr(0, 0);
    empty[446] = empty[446 + 4] = 0;
    ASSERT_EQ(disk->WriteAt(0, empty.data(), 512), 512);
    disk->UpdateProperties();
    EXPECT_FALSE(fs::exists(node));
    roots = disks->LogicalDriveRoots();
    EXPECT_EQ(std::count(roots.begin(), roots.end(), letter), 0);
    EXPECT_FALSE(fs::exists(letter));
}

}  // namespace
