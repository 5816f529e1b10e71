// Mounting a partition's file system on a folder with whatever driver can read it.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/linux/mounts.h"

namespace platform::linuxos {

// One way to mount: a kernel file system, or else a FUSE helper program.
struct MountMethod {
    std::string kernelType;
    std::string fuseHelper;
    bool operator==(const MountMethod&) const = default;
};

// The ways to mount a libblkid type, the kernel's driver first: exFAT and NTFS also have
// FUSE drivers; FAT and UDF have none.
std::vector<MountMethod> MountMethodsFor(const std::string& probedType);

// Mounts the node's file system on the folder the first way that works. False when none
// does: no file system, or no driver for it.
bool MountNode(const std::string& node, const std::string& folder);

// Mounts the node where the mount was, the way it was: the same kernel type, options and
// flags, or the FUSE helper for the file system a FUSE mount showed.
bool MountAgain(const Mount& mount, const std::string& node);

// The mount on the folder, or nullopt when nothing is mounted there.
std::optional<Mount> MountOn(const std::string& folder);
// The first mount point of the device, or nullopt when it is mounted nowhere.
std::optional<std::string> MountPointOf(dev_t device);

// Unmounts the folder and waits for a FUSE driver to let go of the node. True when nothing
// is mounted there any more.
bool UnmountFolder(const std::string& folder);

}  // namespace platform::linuxos
