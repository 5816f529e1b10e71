// The boot record sets and the partition boot record written over a fresh volume.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "core/setting_choices.h"
#include "prepare/boot_images.h"

namespace prepare {

struct BootRecordSet {
    BootImage mbr;
    int mbrSectors = 1;
    BootImage pbr;
    int pbrSectors = 0;  // 0: the volume keeps the format service's boot sector
};

// Puts the image's code over the volume's boot sector(s), keeping the parameter block the
// format service wrote and every byte the image does not reach; exFAT also gets its backup
// region and boot checksum. False, with CancelFlag set, when the volume could not be
// opened (no status) or its boot sectors not read or written (a status says which).
bool InstallPartitionBootRecord(int32_t diskNumber, const std::string& letter,
                                std::span<const uint8_t> image, int sectors, int64_t bytesPerSector,
                                core::FileSystemKind fileSystem);

// The exFAT boot-region checksum over length bytes (volume flags and percent-in-use
// excluded).
uint32_t ExFatBootChecksum(const uint8_t* bytes, size_t length);

// Copies the parameter block of a freshly formatted volume into a boot image: bytes 3-89
// for FAT32, 0-119 for exFAT.
void SpliceParameterBlock(uint8_t* image, const uint8_t* volume, core::FileSystemKind fileSystem);

}  // namespace prepare
