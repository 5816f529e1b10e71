// Folders of the program that stand for partition 1 of a disk, the way a drive letter
// does on Windows: given out even before the partition has a file system. The partition
// is mounted on its folder where a driver can read it; a FAT32 volume on a kernel without
// vfat stays unmounted, its files reached with mtools through the node instead.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace platform::linuxos {

// What a letter (a real mount point or a program volume folder) stands for.
struct LetterVolume {
    std::string node;       // the partition's device node
    std::string partition;  // its kernel name
    dev_t device = 0;
    bool mounted = false;        // its file system is reachable under the letter
    bool programVolume = false;  // the folder is the program's own
};
std::optional<LetterVolume> VolumeAtLetter(const std::string& letter);

// The folder standing for partition 1 of the disk, mounted where possible; a partition
// already mounted keeps its mount point. "" when the disk has no partition 1 or no folder
// can be made.
std::string AssignProgramVolume(const std::string& disk);

// The program volume folders still standing for a partition, in the order given out.
// Those whose disk went away, or whose disk's table no longer has a partition 1, are
// unmounted and removed on the way.
std::vector<std::string> ProgramVolumeFolders();

// Mounts a program volume on its folder again where a driver can read it; true when the
// folder still stands for its partition.
bool RemountProgramVolume(const std::string& folder);

// Unmounts and removes the program volumes of a disk that is about to go, also those an
// earlier run of the program left.
void ReleaseProgramVolumes(const std::string& disk);

// Where the folders are made: under /run, else under the temporary folder.
std::string ProgramVolumeRoot();

}  // namespace platform::linuxos
