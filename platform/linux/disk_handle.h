// Raw access to an opened disk or partition node.
#pragma once

#include <memory>
#include <string>

#include "platform/disks.h"

namespace platform::linuxos {

// Opens the node for reading, and writing when asked; nullptr when it cannot be opened.
// A volume's lock also requires that nobody uses its mounted file system, and keeps the
// file system unmounted while it is held.
//
// The handle itself opens without O_EXCL: the kernel refuses that while a partition of
// the disk is mounted, and mkfs and mount helpers fail while the program holds it. flock
// is the advisory lock udev and other careful tools respect; a disk's lock is refused
// while one of its partitions is held where no dismount reaches it. Writes to a disk go
// through an exclusive open of it, taken at the first write and given up at the next
// flush (also when the new table is taken in and when the lock ends). A disk handle takes
// in a new partition table by itself opening the disk again (see SyncPartitionNodes): the
// kernel does not mind the lock, only partitions still in use.
std::unique_ptr<DiskHandle> OpenBlockDevice(const std::string& node, bool write, bool volume);

}  // namespace platform::linuxos
