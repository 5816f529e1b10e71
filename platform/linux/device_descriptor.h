// The bus type and identification texts of a disk, from sysfs.
#pragma once

#include <string>

#include "platform/disks.h"

namespace platform::linuxos {

DeviceDescriptor DescribeDisk(const std::string& disk);

// Whether the disk is a loop device showing a file.
bool IsFileBacked(const std::string& disk);

}  // namespace platform::linuxos
