// Opening and flushing block device nodes.
#pragma once

#include <string>

#include "platform/linux/unique_fd.h"

namespace platform::linuxos {

// Opens the node for reading and writing exclusively. The kernel grants that only while
// nothing mounts or holds the device, for a whole disk none of its partitions either;
// a FUSE driver of a volume just unmounted is given a moment to let go. errno tells why
// not.
UniqueFd OpenExclusive(const std::string& node);

// Writes what the system caches for the device to it and drops the cache, so that reads
// through any node of the disk come from the device. False when the device refused.
bool FlushBlockDevice(int fd);
bool FlushBlockNode(const std::string& node);

}  // namespace platform::linuxos
