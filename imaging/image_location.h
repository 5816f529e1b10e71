// Whether an image file lies where the copy would overwrite it: on the disk a restore
// writes, or on the partition a backup reads.
#pragma once

#include <string>

#include "disk/disk_record.h"

namespace imaging {

bool FileLiesOnDisk(const std::string& path, const disk::DiskRecord& disk);
// slot: the partition's index in disk.Partitions.
bool FileLiesOnPartition(const std::string& path, const disk::DiskRecord& disk, int slot);

}  // namespace imaging
