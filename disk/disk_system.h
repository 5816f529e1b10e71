// The disk service the program uses: the system's, or a test's stand-in.
#pragma once

#include <memory>

#include "platform/disks.h"

namespace disk {

platform::DiskSystem& Disks();
void SetDiskSystem(std::unique_ptr<platform::DiskSystem> disks);  // nullptr: the system's

}  // namespace disk
