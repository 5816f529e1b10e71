#include "platform/linux/program_volumes.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <mutex>

#include "platform/linux/mbr.h"
#include "platform/linux/partition_nodes.h"
#include "platform/linux/sysfs.h"
#include "platform/linux/unique_fd.h"
#include "platform/linux/volume_mount.h"

namespace fs = std::filesystem;

namespace platform::linuxos {
namespace {

struct Entry {
    std::string folder;
    std::string disk;
    int64_t sequence = 0;  // the disk's diskseq: a loop device attached anew is another disk
};

// The table is the process's, as drive letters are the system's.
std::mutex& TableMutex() {
    static std::mutex mutex;
    return mutex;
}
std::vector<Entry>& Table() {
    static std::vector<Entry> entries;
    return entries;
}

std::optional<Entry> FindEntry(const std::string& folder) {
    std::lock_guard lock(TableMutex());
    for (const Entry& entry : Table())
        if (entry.folder == folder) return entry;
    return std::nullopt;
}

int64_t DiskSequence(const std::string& disk) {
    return ReadNumber(DiskFolder(disk) + "/diskseq").value_or(0);
}

std::optional<KernelPartition> FirstPartition(const std::string& disk) {
    for (const KernelPartition& partition : KernelPartitions(disk))
        if (partition.number == 1) return partition;
    return std::nullopt;
}

// The kernel may be between taking partition 1 away and giving it back; the table decides.
bool TableHasFirstPartition(const std::string& disk) {
    UniqueFd fd(open(("/dev/" + disk).c_str(), O_RDONLY | O_CLOEXEC));
    int sectorSize = 0;
    std::array<uint8_t, kMbrBytes> sector{};
    if (!fd || ioctl(fd.get(), BLKSSZGET, &sectorSize) != 0 || sectorSize <= 0) return false;
    if (pread(fd.get(), sector.data(), sector.size(), 0) != ssize_t(sector.size())) return false;
    auto layout = DecodeMbr(sector, uint32_t(sectorSize));
    return layout && layout->Entries[0].PartitionLength > 0;
}

bool StillStands(const Entry& entry) {
    if (!fs::exists(DiskFolder(entry.disk)) || DiskSequence(entry.disk) != entry.sequence)
        return false;
    return FirstPartition(entry.disk) || TableHasFirstPartition(entry.disk);
}

// Removes only an empty folder: files written while the unmount failed stay.
void Drop(const Entry& entry) {
    {
        std::lock_guard lock(TableMutex());
        std::erase_if(Table(), [&](const Entry& held) { return held.folder == entry.folder; });
    }
    UnmountFolder(entry.folder);
    std::error_code ignored;
    fs::remove(entry.folder, ignored);
}

// A folder left mounted by an earlier run is not taken over.
std::string FreeFolder(const std::string& name) {
    std::string folder = ProgramVolumeRoot() + "/" + name;
    for (int suffix = 2; MountOn(folder); ++suffix)
        folder = ProgramVolumeRoot() + "/" + name + "-" + std::to_string(suffix);
    return folder;
}

// The folder for the disk, existing or new; "" when none can be made.
std::string RegisterFolder(const std::string& disk, const std::string& partition) {
    if (ProgramVolumeRoot().empty()) return "";
    std::lock_guard lock(TableMutex());
    int64_t sequence = DiskSequence(disk);
    auto held = std::find_if(Table().begin(), Table().end(), [&](const Entry& entry) {
        return entry.disk == disk && entry.sequence == sequence;
    });
    std::string folder = held != Table().end() ? held->folder : FreeFolder(partition);
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) return "";
    if (held == Table().end()) Table().push_back({folder, disk, sequence});
    return folder;
}

}  // namespace

std::string ProgramVolumeRoot() {
    static const std::string root = [] {
        std::error_code error;
        for (const fs::path& folder : {fs::path("/run/stickforge/volumes"),
                                       fs::temp_directory_path(error) / "stickforge-volumes"}) {
            fs::create_directories(folder, error);
            if (!error && access(folder.c_str(), W_OK) == 0) return folder.string();
        }
        return std::string();
    }();
    return root;
}

std::optional<LetterVolume> VolumeAtLetter(const std::string& letter) {
    LetterVolume volume;
    auto entry = FindEntry(letter);
    volume.programVolume = entry.has_value();
    if (auto mount = MountOn(letter)) {
        volume.device = mount->device;
        volume.mounted = true;
    } else if (auto partition = entry ? FirstPartition(entry->disk) : std::nullopt) {
        volume.device = partition->device;
    }
    auto described =
        volume.device && major(volume.device) ? DescribeBlockDevice(volume.device) : std::nullopt;
    if (!described) return std::nullopt;
    volume.partition = described->name;
    volume.node = "/dev/" + described->name;
    return volume;
}

std::string AssignProgramVolume(const std::string& disk) {
    auto partition = FirstPartition(disk);
    if (!partition && SyncPartitionNodes(disk)) partition = FirstPartition(disk);
    if (!partition) return "";
    if (auto mountPoint = MountPointOf(partition->device)) return *mountPoint;
    std::string folder = RegisterFolder(disk, partition->name);
    if (!folder.empty())
        MountNode("/dev/" + partition->name, folder);  // may have no file system yet
    return folder;
}

std::vector<std::string> ProgramVolumeFolders() {
    std::vector<Entry> entries;
    {
        std::lock_guard lock(TableMutex());
        entries = Table();
    }
    std::vector<std::string> folders;
    for (const Entry& entry : entries) {
        if (StillStands(entry))
            folders.push_back(entry.folder);
        else
            Drop(entry);
    }
    return folders;
}

bool RemountProgramVolume(const std::string& folder) {
    auto entry = FindEntry(folder);
    auto partition = entry ? FirstPartition(entry->disk) : std::nullopt;
    if (!partition) return false;
    // A volume in use stays as it is; one mounted elsewhere is not mounted twice.
    if (UnmountFolder(folder) && !MountPointOf(partition->device))
        MountNode("/dev/" + partition->name, folder);
    return StillStands(*entry);
}

void ReleaseProgramVolumes(const std::string& disk) {
    std::vector<Entry> entries;
    {
        std::lock_guard lock(TableMutex());
        std::copy_if(Table().begin(), Table().end(), std::back_inserter(entries),
                     [&](const Entry& entry) { return entry.disk == disk; });
    }
    // Folders that earlier runs of the program left are named after the partitions too.
    if (!ProgramVolumeRoot().empty())
        for (const KernelPartition& partition : KernelPartitions(disk))
            entries.push_back({ProgramVolumeRoot() + "/" + partition.name, disk});
    for (const Entry& entry : entries) Drop(entry);
}

}  // namespace platform::linuxos
