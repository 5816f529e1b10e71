#include "platform/linux/format_service.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "platform/linux/block_node.h"
#include "platform/linux/child_process.h"
#include "platform/linux/device_users.h"
#include "platform/linux/disk_probe.h"
#include "platform/linux/mkfs_command.h"
#include "platform/linux/mounts.h"
#include "platform/linux/partition_type.h"
#include "platform/linux/program_volumes.h"
#include "platform/linux/sysfs.h"
#include "platform/linux/unique_fd.h"
#include "platform/linux/volume_identity.h"
#include "platform/linux/volume_mount.h"

namespace platform::linuxos {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int64_t kZeroChunk = 16 << 20;
constexpr size_t kZeroBuffer = 1 << 20;
constexpr int kPollMs = 100;
constexpr auto kOutputInterval = std::chrono::milliseconds(kPollMs);

// Passes reports on and remembers whether the caller asked to stop.
class Reporter {
public:
    explicit Reporter(const FormatReport& report) : report_(report) {}

    bool Send(uint32_t command, const void* info = nullptr) {
        if (!report_(command, 0, info)) stopped_ = true;
        return !stopped_;
    }
    bool Percent(uint32_t percent) { return Send(kFormatProgress, &percent); }
    // Tool output, and at least every interval a report, so that a stop request is heard.
    bool Output(const std::string& text) {
        if (text.empty() && Clock::now() - lastOutput_ < kOutputInterval) return true;
        lastOutput_ = Clock::now();
        return Send(kFormatOutput, text.c_str());
    }
    void Finish(bool success) {
        uint8_t flag = success ? 1 : 0;
        report_(kFormatDone, 0, &flag);
    }
    void Fail(uint32_t command) {
        if (command) Send(command);
        Finish(false);
    }

private:
    const FormatReport& report_;
    bool stopped_ = false;
    Clock::time_point lastOutput_ = Clock::now();
};

bool AnyToolInstalled() {
    for (const char* fileSystem : {"FAT32", "exFAT", "NTFS", "UDF"})
        if (!FindProgram(MkfsTool(fileSystem)).empty()) return true;
    return false;
}

// Start and sector size from the partition, geometry from its disk as the program
// shows it.
std::optional<FormatTarget> TargetOf(const LetterVolume& volume) {
    auto described = DescribeBlockDevice(volume.device);
    UniqueFd fd(open(volume.node.c_str(), O_RDONLY | O_CLOEXEC));
    int sectorSize = 0;
    if (!described || !fd || ioctl(fd.get(), BLKSSZGET, &sectorSize) != 0 || sectorSize <= 0)
        return std::nullopt;
    FormatTarget target;
    target.node = volume.node;
    target.sectorSize = uint32_t(sectorSize);
    auto start = ReadNumber("/sys/class/block/" + described->name + "/start");
    target.startSector = start.value_or(0) * 512 / sectorSize;  // sysfs counts 512-byte units
    DiskFacts facts;
    if (ProbeDiskFacts(described->disk, facts) && facts.Geometry) {
        target.heads = facts.Geometry->TracksPerCylinder;
        target.sectorsPerTrack = facts.Geometry->SectorsPerTrack;
    }
    return target;
}

// Opening a read-only device for writing fails like missing rights; this tells them apart.
bool ReadOnly(const std::string& node) {
    UniqueFd fd(open(node.c_str(), O_RDONLY | O_CLOEXEC));
    int readOnly = 0;
    return fd && ioctl(fd.get(), BLKROGET, &readOnly) == 0 && readOnly != 0;
}

bool WriteZeros(int fd, int64_t offset, int64_t bytes) {
    static const std::vector<char> zeros(kZeroBuffer);
    while (bytes > 0) {
        ssize_t written =
            pwrite(fd, zeros.data(), size_t(std::min<int64_t>(bytes, kZeroBuffer)), off_t(offset));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        offset += written;
        bytes -= written;
    }
    return fdatasync(fd) == 0;  // the percentage tells what reached the device
}

// Clears the volume chunk by chunk. False, with the final report made, when a write
// failed or the caller asked to stop.
bool ZeroVolume(int fd, Reporter& reporter) {
    uint64_t size = 0;
    if (ioctl(fd, BLKGETSIZE64, &size) != 0 || size == 0) {
        reporter.Finish(false);
        return false;
    }
    int64_t bytes = int64_t(size);
    for (int64_t done = 0; done < bytes;) {
        int64_t chunk = std::min(kZeroChunk, bytes - done);
        if (!WriteZeros(fd, done, chunk)) {
            reporter.Fail(FailureCommandOfErrno(errno));
            return false;
        }
        done += chunk;
        if (!reporter.Percent(uint32_t(done * 100 / bytes))) {
            reporter.Finish(false);
            return false;
        }
    }
    return true;
}

enum class ToolEnd { Ended, Stopped, NotStarted };

// Runs the tool, passing on its output and, where it clears the volume itself, its
// percentages; stops it when the caller asks.
ToolEnd RunTool(const MkfsPlan& plan, Reporter& reporter, std::string& output, int& exitCode) {
    ChildProcess child(plan.argv, true);
    if (!child.started()) return ToolEnd::NotStarted;
    PercentReader percents;
    uint32_t shown = 0;
    for (bool running = true; running;) {
        size_t before = output.size();
        running = child.Poll(kPollMs, output);
        std::string fresh = output.substr(before);
        bool goOn = true;
        if (plan.toolZeroes)
            for (uint32_t percent : percents.Feed(fresh))
                if (percent > shown && goOn) goOn = reporter.Percent(shown = percent);
        if (goOn && running) goOn = reporter.Output(fresh);
        if (!goOn) {
            child.Stop();
            return ToolEnd::Stopped;
        }
    }
    exitCode = child.exitCode();
    return ToolEnd::Ended;
}

void ReportToolFailure(Reporter& reporter, const std::string& output, bool clusterSizeGiven) {
    uint32_t command = FailureCommand(output, clusterSizeGiven);
    if (command == kFormatTooSmall) reporter.Send(kFormatTooSmall);  // informs only
    reporter.Fail(command == kFormatTooSmall ? 0 : command);
}

// Fewer clusters than FAT32 allows: no FAT driver reads the volume as the FAT32 it is.
bool TooFewFat32Clusters(const std::string& node) {
    UniqueFd fd(open(node.c_str(), O_RDONLY | O_CLOEXEC));
    std::vector<uint8_t> bootSector(512);
    return fd && pread(fd.get(), bootSector.data(), bootSector.size(), 0) == 512 &&
           FatClusterCount(bootSector) < kFat32MinClusters;
}

void MakeFileSystem(const FormatRequest& request, const MkfsPlan& plan, const LetterVolume& volume,
                    Reporter& reporter) {
    if (!reporter.Send(kFormatCreating)) return reporter.Finish(false);
    std::string output;
    int exitCode = -1;
    if (RunTool(plan, reporter, output, exitCode) != ToolEnd::Ended) return reporter.Finish(false);
    // mkfs.exfat can fail with exit code 0: the volume itself tells.
    if (exitCode != 0 || ProbedType(volume.node) != plan.probedType)
        return ReportToolFailure(reporter, output, request.clusterSize != 0);
    if (plan.probedType == "vfat" && TooFewFat32Clusters(volume.node)) {
        reporter.Send(kFormatTooSmall);
        return reporter.Finish(false);
    }
    // The new file system is on the device, and the table names it, before success is told.
    auto type = FormattedPartitionType(request.fileSystem);
    auto partition = DescribeBlockDevice(volume.device);
    if (!FlushBlockNode(volume.node) || (type && partition && !SetPartitionType(*partition, *type)))
        return reporter.Fail(FailureCommandOfErrno(errno));
    reporter.Finish(true);
}

void Format(const FormatRequest& request, const MkfsPlan& plan, const LetterVolume& volume,
            Reporter& reporter) {
    if (!UnmountDevices({volume.device})) return reporter.Fail(kFormatVolumeInUse);
    WaitUntilReleased({volume.device});
    if (ReadOnly(volume.node)) return reporter.Fail(kFormatWriteProtected);
    {
        UniqueFd fd = OpenExclusive(volume.node);
        if (!fd) return reporter.Fail(FailureCommandOfErrno(errno));
        if (!request.quick && !plan.toolZeroes && !ZeroVolume(fd.get(), reporter)) return;
    }  // closed: the tool opens the volume exclusively itself
    MakeFileSystem(request, plan, volume, reporter);
}

}  // namespace

FormatServiceStatus RunFormatService(const FormatRequest& request, const FormatReport& report) {
    if (!AnyToolInstalled()) return FormatServiceStatus::ServiceMissing;
    Reporter reporter(report);
    auto volume = VolumeAtLetter(request.letter);
    auto target = volume ? TargetOf(*volume) : std::nullopt;
    auto plan = target ? PlanMkfs(request, *target) : std::nullopt;
    if (!plan || FindProgram(plan->argv.front()).empty()) {
        reporter.Finish(false);
    } else if (!ClusterSizeFits(request.fileSystem, request.clusterSize, target->sectorSize)) {
        reporter.Fail(kFormatBadClusterSize);
    } else {
        Format(request, *plan, *volume, reporter);
        // Where a driver can read what is there now, the letter shows it again.
        if (!MountPointOf(volume->device)) MountNode(volume->node, request.letter);
    }
    return FormatServiceStatus::Ran;
}

}  // namespace platform::linuxos
