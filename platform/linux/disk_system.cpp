// Disks numbered by their /sys/block names; mount points and the program's volume folders
// stand in for drive letters.
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <mutex>

#include "platform/disks.h"
#include "platform/linux/disk_handle.h"
#include "platform/linux/disk_names.h"
#include "platform/linux/disk_numbers.h"
#include "platform/linux/disk_probe.h"
#include "platform/linux/eject.h"
#include "platform/linux/format_service.h"
#include "platform/linux/mounts.h"
#include "platform/linux/program_volumes.h"
#include "platform/linux/sysfs.h"
#include "platform/linux/system_disks.h"
#include "platform/linux/volume_identity.h"
#include "platform/linux/volume_mount.h"

namespace platform {
namespace {

using namespace linuxos;

bool Contains(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

std::optional<BlockDevice> DeviceAt(const std::string& letter) {
    auto volume = VolumeAtLetter(letter);
    return volume ? DescribeBlockDevice(volume->device) : std::nullopt;
}

VolumeIdentity IdentifyAt(const std::string& letter) {
    auto volume = VolumeAtLetter(letter);
    if (!volume) return {};
    auto mount = MountOn(letter);
    return IdentifyVolume(volume->node, mount ? mount->fsType : "");
}

class LinuxDiskSystem : public DiskSystem {
public:
    void Rescan() override {
        std::vector<DiskIdentity> attached = AttachedDisks();
        std::vector<std::string> system = SystemDisks(ReadMounts());
        std::lock_guard lock(mutex_);
        numbers_.Update(attached);
        systemDisks_ = std::move(system);
        identities_.clear();  // a look at the disks takes a fresh look at their volumes
    }

    bool ProbeDisk(int32_t number, DiskFacts& facts) override {
        std::string disk = DiskName(number);
        if (disk.empty() || !ProbeDiskFacts(disk, facts)) return false;
        std::lock_guard lock(mutex_);
        facts.HoldsSystem = Contains(systemDisks_, disk);
        return true;
    }

    std::string DevicePath(int32_t number) override {
        std::string disk = DiskName(number);
        return disk.empty() ? "" : "/dev/" + disk;
    }

    // One root per device: a volume mounted twice is listed at its first mount point, and a
    // program volume folder only while its partition is mounted nowhere.
    std::vector<std::string> LogicalDriveRoots() override {
        std::vector<std::string> roots;
        std::vector<dev_t> seen;
        auto add = [&](dev_t device, const std::string& root) {
            if (major(device) == 0 || std::find(seen.begin(), seen.end(), device) != seen.end())
                return;
            seen.push_back(device);
            roots.push_back(root);
        };
        for (const Mount& mount : ReadMounts()) add(mount.device, mount.mountPoint);
        for (const std::string& folder : ProgramVolumeFolders())
            if (auto volume = VolumeAtLetter(folder)) add(volume->device, folder);
        return roots;
    }

    std::string LetterOfRoot(const std::string& root) override { return root; }

    // A file system on a whole disk (no partition table) is no partition of it.
    bool LocateVolume(const std::string& letter, VolumeLocation& location) override {
        auto device = DeviceAt(letter);
        if (!device || device->partition == 0) return false;
        auto number = DiskNumber(device->disk);
        if (!number) return false;
        location = {*number, device->partition};
        return true;
    }

    std::string VolumeLabel(const std::string& letter) override { return Identity(letter).label; }
    std::string FileSystemName(const std::string& letter) override {
        return Identity(letter).fileSystem;
    }

    // The number names the disk it was given to: when another disk took the name since
    // (a stick pulled and another plugged in), nothing is opened.
    std::unique_ptr<DiskHandle> OpenDisk(int32_t number, bool write) override {
        std::optional<DiskIdentity> disk;
        {
            std::lock_guard lock(mutex_);
            disk = numbers_.IdentityOf(number);
        }
        if (!disk || !StillAttached(*disk)) return nullptr;
        return OpenBlockDevice("/dev/" + disk->name, write, false);
    }

    bool DiskWritesNeedVolumesLocked() override { return true; }

    std::unique_ptr<DiskHandle> OpenVolume(const std::string& letter, bool write) override {
        auto device = DeviceAt(letter);
        return device ? OpenBlockDevice("/dev/" + device->name, write, true) : nullptr;
    }

    std::string VolumeName(const std::string& letter) override {
        return letter.starts_with('/') ? letter : "";
    }

    bool IsSystemVolume(const std::string& volumeName) override {
        if (IsSystemMountPoint(volumeName)) return true;
        auto mount = MountOn(volumeName);
        if (!mount) return false;
        std::vector<std::string> system = SystemDisks(ReadMounts());
        std::vector<std::string> under = UnderlyingDisks(mount->device);
        return std::any_of(under.begin(), under.end(),
                           [&](const std::string& disk) { return Contains(system, disk); });
    }

    std::string WriteRightsProblem() override {
        return geteuid() == 0 ? "" : "Not running as root: disks can be listed but not written";
    }

    // The system disks are looked up afresh: the table may be older than the mounts.
    bool EjectDisk(int32_t number, const std::string&) override {
        std::string disk = DiskName(number);
        if (disk.empty() || Contains(SystemDisks(ReadMounts()), disk)) return false;
        return EjectBlockDisk(disk);
    }

    std::string AssignDriveLetter(int32_t number) override {
        std::string disk = DiskName(number);
        return disk.empty() ? "" : AssignProgramVolume(disk);
    }

    // A volume that cannot be unmounted now (in use) keeps its letter as it is.
    bool RemountVolume(const std::string& letter) override {
        ForgetIdentities();
        auto volume = VolumeAtLetter(letter);
        if (!volume) return false;
        if (volume->programVolume) return RemountProgramVolume(letter);
        auto mount = MountOn(letter);
        if (!mount || !UnmountFolder(letter)) return true;
        return MountAgain(*mount, volume->node);
    }

    FormatServiceStatus RunFormatService(const FormatRequest& request,
                                         const FormatReport& report) override {
        ForgetIdentities();  // the volume gets a new file system and label
        return linuxos::RunFormatService(request, report);
    }

private:
    // Label and name come from one probe of the volume per rescan: a probe reads the
    // volume in many places and costs milliseconds.
    VolumeIdentity Identity(const std::string& letter) {
        {
            std::lock_guard lock(mutex_);
            auto known = identities_.find(letter);
            if (known != identities_.end()) return known->second;
        }
        VolumeIdentity identity = IdentifyAt(letter);
        std::lock_guard lock(mutex_);
        identities_[letter] = identity;
        return identity;
    }

    void ForgetIdentities() {
        std::lock_guard lock(mutex_);
        identities_.clear();
    }

    std::string DiskName(int32_t number) {
        std::lock_guard lock(mutex_);
        return numbers_.NameOf(number);
    }

    std::optional<int32_t> DiskNumber(const std::string& disk) {
        std::lock_guard lock(mutex_);
        return numbers_.NumberOf(disk);
    }

    // Rescans and lookups may come from the interface thread and a worker at once.
    std::mutex mutex_;
    DiskNumbers numbers_{size_t(kDiskNumbers)};
    std::vector<std::string> systemDisks_;
    std::map<std::string, VolumeIdentity> identities_;  // by letter, until the next rescan
};

}  // namespace

std::unique_ptr<DiskSystem> CreateNativeDiskSystem() { return std::make_unique<LinuxDiskSystem>(); }

}  // namespace platform
