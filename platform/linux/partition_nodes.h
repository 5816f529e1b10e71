// Bringing the kernel's partitions of a disk, and their /dev nodes, in line with its MBR.
#pragma once

#include <string>

namespace platform::linuxos {

// Needed after attaching an image or writing a new partition table. Some kernels read the
// table again on request (BLKRRPART) and make the nodes themselves; others make nothing
// from an MBR, and a busy disk refuses a full reread: then each primary partition is
// removed or added on its own (BLKPG). Extended and logical partitions are left as the
// kernel has them, and a disk without an MBR (or with a GPT) is left to the kernel. Missing nodes
// are made from sysfs when the device manager does not make them in time. True when the kernel's
// primary partitions and their nodes match the table.
bool SyncPartitionNodes(const std::string& disk);

// Removes the kernel's partitions of an opened disk one by one; mounted ones stay.
void RemoveKernelPartitions(int diskFd, const std::string& disk);

}  // namespace platform::linuxos
