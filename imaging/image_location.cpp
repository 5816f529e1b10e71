#include "imaging/image_location.h"

#include <cctype>
#include <optional>

#include "disk/disk_system.h"
#include "platform/image_file.h"
#include "platform/paths.h"

namespace imaging {
namespace {

std::string Folded(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Under the partition's letter or mount point as the drive list shows it. A volume locked
// for the copy may have lost its mount meanwhile, so its file system cannot tell.
bool UnderLetter(const std::string& path, const std::string& letter) {
    if (letter.empty()) return false;
    const std::string& separator = platform::PathSeparator();
    std::string root = letter.ends_with(separator) ? letter : letter + separator;
    std::string folded = Folded(path);
    return folded.starts_with(Folded(root)) || folded == Folded(letter);
}

std::optional<platform::VolumeLocation> VolumeOfFile(const std::string& path) {
    std::string root = platform::VolumeRootOf(path);
    if (root.empty()) return std::nullopt;
    platform::DiskSystem& disks = disk::Disks();
    platform::VolumeLocation location;
    if (!disks.LocateVolume(disks.LetterOfRoot(root), location)) return std::nullopt;
    return location;
}

}  // namespace

bool FileLiesOnDisk(const std::string& path, const disk::DiskRecord& disk) {
    for (int slot = 0; slot < disk::kListedSlots; ++slot)
        if (UnderLetter(path, disk.Partitions[size_t(slot)].Letter)) return true;
    auto volume = VolumeOfFile(path);
    return volume && volume->DiskNumber == disk.DiskNumber;
}

bool FileLiesOnPartition(const std::string& path, const disk::DiskRecord& disk, int slot) {
    const disk::PartitionRecord& partition = disk.Partitions[size_t(slot)];
    if (UnderLetter(path, partition.Letter)) return true;
    auto volume = VolumeOfFile(path);
    return volume && volume->DiskNumber == disk.DiskNumber && volume->PartitionNumber == slot + 1;
}

}  // namespace imaging
