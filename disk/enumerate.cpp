// Builds DiskList from what the system reports about each disk and each mounted volume.
#include "core/state.h"
#include "disk/disk_record.h"
#include "disk/disk_system.h"

namespace disk {

std::vector<DiskRecord> DiskList;

namespace {

void CopyDescriptor(const platform::DeviceDescriptor& descriptor, DiskRecord& disk) {
    disk.BusType = BusTypeName(descriptor.BusType);
    disk.ProductId = descriptor.ProductId;
    disk.VendorId = descriptor.VendorId;
    disk.SerialNumber = descriptor.SerialNumber;
    disk.BusTypeCode = descriptor.BusType;
    disk.HasDescriptor = true;
}

void CopyGeometry(const platform::DiskGeometry& geometry, DiskRecord& disk) {
    disk.Geometry = geometry;
    if (geometry.BytesPerSector != 0)
        disk.TotalSectors = geometry.DiskSize / geometry.BytesPerSector;
    disk.ChsSectors = geometry.Cylinders * geometry.TracksPerCylinder * geometry.SectorsPerTrack;
}

void CopyLayout(const platform::DriveLayout& layout, DiskRecord& disk) {
    disk.PartitionCount = int32_t(layout.PartitionCount);
    disk.Signature = layout.Signature;
    for (int slot = 0; slot < kListedSlots; ++slot) {
        PartitionRecord& partition = disk.Partitions[slot];
        static_cast<platform::PartitionInformation&>(partition) = layout.Entries[slot];
        partition.FsName = PartitionTypeName(partition.PartitionType);
    }
}

DiskRecord ProbedRecord(int32_t number, const platform::DiskFacts& facts) {
    DiskRecord disk;
    disk.DiskNumber = number;
    disk.LengthBytes = facts.LengthBytes;
    disk.DriveTypeCode = facts.DriveTypeCode;
    disk.DriveType = DriveTypeName(facts.DriveTypeCode);
    disk.HoldsSystem = facts.HoldsSystem;
    if (facts.Descriptor) CopyDescriptor(*facts.Descriptor, disk);
    if (facts.Geometry) CopyGeometry(*facts.Geometry, disk);
    if (facts.Layout) CopyLayout(*facts.Layout, disk);
    return disk;
}

// Ties a mounted volume to its slot; a partition number past the slots keeps only its
// place in Letters.
void AddVolume(const std::string& letter, const platform::VolumeLocation& location) {
    platform::DiskSystem& disks = Disks();
    for (DiskRecord& disk : DiskList) {
        if (disk.DiskNumber != location.DiskNumber) continue;
        if (location.PartitionNumber <= kPartitionSlots) {
            PartitionRecord& partition = disk.Partitions[location.PartitionNumber - 1];
            partition.Letter = letter;
            partition.Label = disks.VolumeLabel(letter);
            partition.FsName = disks.FileSystemName(letter);
        }
        if (!disk.Letters.empty()) disk.Letters += ' ';
        disk.Letters += letter;
    }
}

// Calls visit(letter, location) for each mounted volume that is a partition of a disk;
// returns the number of drive roots the system reported.
template <class Visit>
int ForEachPartitionVolume(Visit visit) {
    platform::DiskSystem& disks = Disks();
    std::vector<std::string> roots = disks.LogicalDriveRoots();
    for (const std::string& root : roots) {
        std::string letter = disks.LetterOfRoot(root);
        platform::VolumeLocation location;
        if (disks.LocateVolume(letter, location) && location.PartitionNumber >= 1)
            visit(letter, location);
    }
    return int(roots.size());
}

}  // namespace

int EnumerateDisks() {
    platform::DiskSystem& disks = Disks();
    DiskList.clear();
    disks.Rescan();
    for (int32_t number = 0; number < kDiskNumbers; ++number) {
        platform::DiskFacts facts;
        if (disks.ProbeDisk(number, facts)) DiskList.push_back(ProbedRecord(number, facts));
    }
    return ForEachPartitionVolume(AddVolume);
}

std::vector<std::string> MountedVolumes(int32_t diskNumber) {
    std::vector<std::string> letters;
    ForEachPartitionVolume([&](const std::string& letter, const platform::VolumeLocation& at) {
        if (at.DiskNumber == diskNumber) letters.push_back(letter);
    });
    return letters;
}

bool HoldsSystemDrive(const DiskRecord& disk) {
    return disk.HoldsSystem || (!core::SystemDriveLetter.empty() &&
                                disk.Letters.find(core::SystemDriveLetter) != std::string::npos);
}

}  // namespace disk
