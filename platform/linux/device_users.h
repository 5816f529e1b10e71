// Which processes use a mounted volume or a device node, the way `fuser` looks.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace platform::linuxos {

// True when some process has an open file, its working or root folder, or a mapped file
// on the file system mounted at any of the mount points. Processes this one may not look
// at count as not using it. A FUSE driver's own handle on the partition node lies on
// /dev, not on the volume, so it does not count.
bool VolumeInUse(const std::vector<std::string>& mountPoints);

// True when a process other than this one has one of the device nodes open, as a FUSE
// driver does for a moment after its volume was unmounted.
bool DeviceOpenElsewhere(const std::vector<dev_t>& devices);

// Waits about two seconds at most for DeviceOpenElsewhere to turn false; its last answer
// negated.
bool WaitUntilReleased(const std::vector<dev_t>& devices);

}  // namespace platform::linuxos
