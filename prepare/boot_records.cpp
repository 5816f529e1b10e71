#include "prepare/boot_records.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "core/progress.h"
#include "core/state.h"
#include "disk/raw_access.h"
#include "platform/byte_order.h"

namespace prepare {
namespace {

constexpr int64_t kBootRegion = 12;  // exFAT: sectors 0-11, mirrored in 12-23
constexpr int64_t kChecksumSector = 11;

// The image over the volume's own bytes: the parameter block and whatever the image does
// not reach (the rest of a sector larger than 512 bytes, the extended boot sectors) stay.
void Splice(std::vector<uint8_t>& volume, std::span<const uint8_t> image,
            core::FileSystemKind fileSystem) {
    std::array<uint8_t, 512> formatted{};  // the parameter blocks lie in the first 512 bytes
    std::copy_n(volume.begin(), std::min(volume.size(), formatted.size()), formatted.begin());
    std::copy(image.begin(), image.end(), volume.begin());
    SpliceParameterBlock(volume.data(), formatted.data(), fileSystem);
}

// Sector 11 gets the checksum of sectors 0-10 repeated over it.
void PutExFatChecksum(std::vector<uint8_t>& region, int64_t bytesPerSector) {
    uint32_t checksum = ExFatBootChecksum(region.data(), size_t(bytesPerSector * kChecksumSector));
    uint8_t* sector = region.data() + kChecksumSector * bytesPerSector;
    for (int64_t i = 0; i < bytesPerSector / 4; ++i) platform::WriteLe32(sector + i * 4, checksum);
}

bool Stop(const std::string& status) {
    core::CancelFlag = 1;
    core::ShowStatus(status, 2000);
    return false;
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

// exFAT rewrites its whole main boot region with the new checksum and mirrors it into the
// backup region; FAT32 rewrites the sectors the image covers. Nothing is written over a
// boot sector that could not be read.
bool InstallPartitionBootRecord(int32_t diskNumber, const std::string& letter,
                                std::span<const uint8_t> image, int sectors, int64_t bytesPerSector,
                                core::FileSystemKind fileSystem) {
    bool exFat = fileSystem == core::FileSystemKind::ExFat;
    size_t imageBytes = std::min(image.size(), size_t(512) * size_t(sectors));
    int64_t covered = (int64_t(imageBytes) + bytesPerSector - 1) / bytesPerSector;
    int64_t count = exFat ? kBootRegion : covered;
    size_t bytes = size_t(count * bytesPerSector);
    disk::DiskHandlePtr volume = disk::OpenDiskDevice(diskNumber, letter, true, true);
    if (!volume) {
        core::CancelFlag = 1;
        return false;
    }
    std::vector<uint8_t> boot(bytes, 0);
    if (disk::ReadSectors(volume.get(), bytesPerSector, 0, count, boot.data()) != int64_t(bytes))
        return Stop("Error reading the boot sector of " + letter);
    Splice(boot, image.first(imageBytes), fileSystem);
    if (exFat) PutExFatChecksum(boot, bytesPerSector);
    bool written =
        disk::WriteSectors(volume.get(), bytesPerSector, 0, count, boot.data()) == int64_t(bytes);
    if (written && exFat)
        written = disk::WriteSectors(volume.get(), bytesPerSector, kBootRegion, count,
                                     boot.data()) == int64_t(bytes);
    if (!written || !volume->Flush()) return Stop("Error writing the boot sector of " + letter);
    disk::UnlockVolume(volume.get());
    return true;
}

}  // namespace prepare
