#include "prepare/boot_records.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/state.h"
#include "disk/raw_access.h"
#include "platform/byte_order.h"

namespace prepare {
namespace {

constexpr int64_t kBackupBootRegion = 12;  // exFAT: sectors 12-23 mirror 0-11
constexpr int64_t kChecksumSector = 11;

// Sectors 11 and 23 get the checksum of the main boot region as it now stands.
void WriteExFatChecksum(platform::DiskHandle* volume, int64_t bytesPerSector) {
    std::vector<uint8_t> region(size_t(bytesPerSector * 12), 0);
    disk::ReadSectors(volume, bytesPerSector, 0, 12, region.data());
    uint32_t checksum = ExFatBootChecksum(region.data(), size_t(bytesPerSector * 11));
    if (checksum == 0) return;
    uint8_t* sector = region.data() + kChecksumSector * bytesPerSector;
    for (int64_t i = 0; i < bytesPerSector / 4; ++i) platform::WriteLe32(sector + i * 4, checksum);
    disk::WriteSectors(volume, bytesPerSector, kChecksumSector, 1, sector);
    disk::WriteSectors(volume, bytesPerSector, kBackupBootRegion + kChecksumSector, 1, sector);
}

}  // namespace

uint32_t ExFatBootChecksum(const uint8_t* bytes, size_t length) {
    uint32_t checksum = 0;
    for (size_t i = 0; i < length; ++i) {
        if (i == 106 || i == 107 || i == 112) continue;
        checksum = ((checksum & 1) ? 0x80000000u : 0) + (checksum >> 1) + bytes[i];
    }
    return checksum;
}

void SpliceParameterBlock(uint8_t* image, const uint8_t* volume, core::FileSystemKind fileSystem) {
    if (core::IsFat32(fileSystem))
        std::memcpy(image + 3, volume + 3, 87);
    else if (fileSystem == core::FileSystemKind::ExFat)
        std::memcpy(image, volume, 120);
}

bool InstallPartitionBootRecord(int32_t diskNumber, const std::string& letter,
                                std::span<const uint8_t> image, int sectors, int64_t bytesPerSector,
                                core::FileSystemKind fileSystem) {
    size_t bytes = size_t(bytesPerSector) * size_t(sectors);
    std::vector<uint8_t> boot(bytes, 0), current(bytes, 0);
    disk::DiskHandlePtr volume = disk::OpenDiskDevice(diskNumber, letter, true, true);
    if (!volume) {
        core::CancelFlag = 1;
        return false;
    }
    disk::ReadSectors(volume.get(), bytesPerSector, 0, sectors, current.data());
    std::memcpy(boot.data(), image.data(), std::min(image.size(), bytes));
    SpliceParameterBlock(boot.data(), current.data(), fileSystem);
    disk::WriteSectors(volume.get(), bytesPerSector, 0, sectors, boot.data());
    if (fileSystem == core::FileSystemKind::ExFat) {
        disk::WriteSectors(volume.get(), bytesPerSector, kBackupBootRegion, sectors, boot.data());
        WriteExFatChecksum(volume.get(), bytesPerSector);
    }
    disk::UnlockVolume(volume.get());
    return true;
}

}  // namespace prepare
