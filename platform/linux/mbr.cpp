#include "platform/linux/mbr.h"

#include <algorithm>

#include "platform/byte_order.h"
#include "platform/mbr_layout.h"

namespace platform::linuxos {
namespace {

constexpr uint8_t kGptProtective = 0xEE;

// The types Windows mounts itself (FAT12/16/32 and NTFS/exFAT).
bool IsRecognizedType(uint8_t type) {
    constexpr uint8_t kTypes[] = {0x01, 0x04, 0x06, 0x07, 0x0B, 0x0C, 0x0E};
    return std::find(std::begin(kTypes), std::end(kTypes), type) != std::end(kTypes);
}

PartitionInformation DecodeEntry(const uint8_t* entry, uint32_t slot, uint32_t sectorSize) {
    PartitionInformation info;
    uint8_t type = entry[mbr::kType];
    uint32_t start = ReadLe32(entry + mbr::kFirstSector);
    uint32_t count = ReadLe32(entry + mbr::kSectorCount);
    if (type == 0 || count == 0) return info;  // not in use
    info.StartingOffset = int64_t(start) * sectorSize;
    info.PartitionLength = int64_t(count) * sectorSize;
    info.HiddenSectors = start;
    info.PartitionNumber = slot + 1;
    info.PartitionType = type;
    info.BootIndicator = entry[mbr::kStatus];
    info.RecognizedPartition = IsRecognizedType(type) ? 1 : 0;
    return info;
}

}  // namespace

bool IsExtendedType(uint8_t type) { return type == 0x05 || type == 0x0F || type == 0x85; }

std::optional<DriveLayout> DecodeMbr(std::span<const uint8_t, kMbrBytes> sector,
                                     uint32_t sectorSize) {
    DriveLayout layout;
    if (!mbr::HasBootMark(sector.data())) return layout;
    layout.PartitionCount = uint32_t(layout.Entries.size());
    layout.Signature = ReadLe32(&sector[mbr::kSignatureOffset]);
    for (uint32_t slot = 0; slot < layout.Entries.size(); ++slot) {
        const uint8_t* entry = &sector[mbr::EntryOffset(slot)];
        if (entry[mbr::kType] == kGptProtective) return std::nullopt;
        layout.Entries[slot] = DecodeEntry(entry, slot, sectorSize);
    }
    return layout;
}

}  // namespace platform::linuxos
