// One look at a disk: sysfs for what is always readable, the device itself for the rest.
#pragma once

#include <string>

#include "platform/disks.h"

namespace platform::linuxos {

// False when the disk has gone. A disk that refuses to be opened keeps what sysfs shows:
// its length, bus, geometry with the usual 255 heads and 63 sectors, and no layout.
bool ProbeDiskFacts(const std::string& disk, DiskFacts& facts);

}  // namespace platform::linuxos
