// Reading the kernel's block device tree under /sys.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform::linuxos {

// The first line of a sysfs attribute without the line end; nullopt when unreadable.
std::optional<std::string> ReadAttribute(const std::string& path);
std::optional<int64_t> ReadNumber(const std::string& path);
bool WriteAttribute(const std::string& path, const std::string& value);

// "/sys/block/<disk>".
std::string DiskFolder(const std::string& disk);

// A block device as the kernel names it: a whole disk (partition 0) or one of its
// partitions.
struct BlockDevice {
    std::string name;  // sysfs name, also its node's name under /dev
    std::string disk;  // the whole disk it belongs to
    int32_t partition = 0;
};
std::optional<BlockDevice> DescribeBlockDevice(dev_t device);

// The partitions of a disk the kernel currently knows, in no particular order.
struct KernelPartition {
    std::string name;
    int32_t number = 0;
    int64_t start = 0;  // 512-byte units, as sysfs counts
    int64_t size = 0;
    dev_t device = 0;
};
std::vector<KernelPartition> KernelPartitions(const std::string& disk);

// "M:m" as sysfs and mountinfo write device numbers.
std::optional<dev_t> ParseDeviceNumber(const std::string& text);

// The whole disks beneath a device: itself, or what device-mapper and RAID devices are
// built from, followed down to the disks.
std::vector<std::string> UnderlyingDisks(dev_t device);

}  // namespace platform::linuxos
