// Image files attached as loop devices; the creating and attaching are in platform/disks.h.
#pragma once

#include <string>

namespace platform::linuxos {

// Lets go of the image. Its program volumes and the partitions added one by one go first,
// as the kernel keeps those after the image is gone. A device still in use is let go when
// it is last closed.
bool DetachLoopDevice(const std::string& disk, std::string& error);

}  // namespace platform::linuxos
