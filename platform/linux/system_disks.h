// The disks the running system lives on: those holding its own mounts or active swap.
#pragma once

#include <string>
#include <vector>

#include "platform/linux/mounts.h"

namespace platform::linuxos {

// /, /boot, /boot/efi, /usr and /var.
bool IsSystemMountPoint(const std::string& path);

// Whole-disk names, followed through device-mapper and RAID devices to their disks.
std::vector<std::string> SystemDisks(const std::vector<Mount>& mounts);

}  // namespace platform::linuxos
