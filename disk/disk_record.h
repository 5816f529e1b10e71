// The program's picture of the attached disks, rebuilt on every refresh.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/disks.h"

namespace disk {

// One MBR slot: the partition entry as the system reported it, and the volume on it.
struct PartitionRecord : platform::PartitionInformation {
    int32_t ListRow = 0;
    std::string Letter;  // "E:" (Linux: the mount point) when a mounted volume maps here
    std::string Label;
    std::string FsName;
    bool InUse() const { return PartitionLength != 0; }
};

constexpr int kPartitionSlots = 50;
constexpr int kListedSlots = 4;  // only the MBR's primary entries are shown and used
using platform::kDiskNumbers;

struct DiskRecord {
    int32_t ListRow = -1;
    int32_t DiskNumber = 0;
    int32_t PartitionCount = 0;
    std::string Letters;  // the volumes' letters joined by one space
    uint32_t Signature = 0;
    std::array<PartitionRecord, kPartitionSlots> Partitions{};
    platform::DiskGeometry Geometry;
    int32_t DriveTypeCode = 0;
    std::string DriveType;
    std::string BusType;
    std::string ProductId;
    std::string VendorId;
    std::string SerialNumber;
    int16_t BusTypeCode = 0;
    bool HasDescriptor = false;  // the device answered the descriptor query
    int64_t LengthBytes = 0;
    int64_t TotalSectors = 0;
    int64_t ChsSectors = 0;
    uint8_t SelectedPartition = 0;  // 0 = the whole disk, k = slot k-1
    bool HoldsSystem = false;       // a system mount or swap lies on it (Linux)
};

extern std::vector<DiskRecord> DiskList;

std::string BusTypeName(int16_t value);
std::string DriveTypeName(int32_t code);
std::string PartitionTypeName(uint8_t type);

// Rebuilds DiskList; returns the number of drive roots the system reported.
int EnumerateDisks();

// The letters of every volume mounted from the disk now, in the system's order; logical
// partitions too, which the four slots do not show.
std::vector<std::string> MountedVolumes(int32_t diskNumber);

// True when the disk holds the running system: the system drive letter among its letters,
// or a system mount.
bool HoldsSystemDrive(const DiskRecord& disk);

}  // namespace disk
