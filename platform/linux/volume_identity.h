// A volume's label and file-system name, named the way Windows names file systems.
#pragma once

#include <string>

namespace platform::linuxos {

struct VolumeIdentity {
    std::string label;
    std::string fileSystem;
};

// Reads the file system's own header from the partition node. Without the rights to open
// the node, the mount table's type stands in and the label stays unknown.
VolumeIdentity IdentifyVolume(const std::string& node, const std::string& mountedType);

// libblkid's TYPE of the file system on the node ("vfat", "exfat", "ntfs", "udf"); "" when
// none or more than one is found, or the node cannot be read.
std::string ProbedType(const std::string& node);

// From libblkid's TYPE and VERSION: vfat gives "FAT32" or "FAT", exfat "exFAT", ntfs
// "NTFS", udf "UDF"; other types stay as they are.
std::string ProbedFileSystemName(const std::string& type, const std::string& version);
// From a mount table type; vfat counts as FAT32, what nearly every stick carries.
std::string MountedFileSystemName(const std::string& type);

}  // namespace platform::linuxos
