#include "platform/linux/mbr.h"

#include <algorithm>

namespace platform::linuxos {
namespace {

constexpr size_t kSignatureOffset = 440;
constexpr size_t kTableOffset = 446;
constexpr size_t kEntryBytes = 16;
constexpr uint8_t kGptProtective = 0xEE;

uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The types Windows mounts itself (FAT12/16/32 and NTFS/exFAT).
bool IsRecognizedType(uint8_t type) {
    constexpr uint8_t kTypes[] = {0x01, 0x04, 0x06, 0x07, 0x0B, 0x0C, 0x0E};
    return std::find(std::begin(kTypes), std::end(kTypes), type) != std::end(kTypes);
}

PartitionInformation DecodeEntry(const uint8_t* entry, uint32_t slot, uint32_t sectorSize) {
    PartitionInformation info;
    uint8_t type = entry[4];
    uint32_t start = Le32(entry + 8), count = Le32(entry + 12);
    if (type == 0 || count == 0) return info;  // not in use
    info.StartingOffset = int64_t(start) * sectorSize;
    info.PartitionLength = int64_t(count) * sectorSize;
    info.HiddenSectors = start;
    info.PartitionNumber = slot + 1;
    info.PartitionType = type;
    info.BootIndicator = entry[0];
    info.RecognizedPartition = IsRecognizedType(type) ? 1 : 0;
    return info;
}

}  // namespace

bool IsExtendedType(uint8_t type) { return type == 0x05 || type == 0x0F || type == 0x85; }

std::optional<DriveLayout> DecodeMbr(std::span<const uint8_t, kMbrBytes> sector,
                                     uint32_t sectorSize) {
    DriveLayout layout;
    if (sector[510] != 0x55 || sector[511] != 0xAA) return layout;
    layout.PartitionCount = uint32_t(layout.Entries.size());
    layout.Signature = Le32(&sector[kSignatureOffset]);
    for (uint32_t slot = 0; slot < layout.Entries.size(); ++slot) {
        const uint8_t* entry = &sector[kTableOffset + slot * kEntryBytes];
        if (entry[4] == kGptProtective) return std::nullopt;
        layout.Entries[slot] = DecodeEntry(entry, slot, sectorSize);
    }
    return layout;
}

}  // namespace platform::linuxos
