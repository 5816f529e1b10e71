// The mount table of this process (/proc/self/mountinfo) and unmounting.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace platform::linuxos {

struct Mount {
    dev_t device = 0;  // what mountinfo shows; FUSE block mounts show the partition's own
    std::string mountPoint;
    std::string fsType;
    std::string source;
    std::string options;       // of this mount point: "rw,nosuid,relatime"
    std::string superOptions;  // of the file system: "rw,fmask=0022"
};

// Decodes the kernel's \\ooo escapes of space, tab, newline and backslash in paths.
std::string UnescapeOctal(const std::string& field);

// The mounts in table order; paths with their \ooo escapes decoded.
std::vector<Mount> ParseMountInfo(const std::string& text);
std::vector<Mount> ReadMounts();

// Unmounts every mount of the devices, newest first; true when none is left.
bool UnmountDevices(const std::vector<dev_t>& devices);

}  // namespace platform::linuxos
