// Where things stand in a master boot record.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform::mbr {

constexpr size_t kSignatureOffset = 440;  // the disk signature, 32 bits
constexpr size_t kTableOffset = 446;
constexpr size_t kEntryBytes = 16;
constexpr size_t kEntryCount = 4;
constexpr size_t kBootMarkOffset = 510;  // 0x55 0xAA

// Fields of one table entry.
constexpr size_t kStatus = 0;
constexpr size_t kFirstChs = 1;
constexpr size_t kType = 4;
constexpr size_t kLastChs = 5;
constexpr size_t kFirstSector = 8;   // 32 bits
constexpr size_t kSectorCount = 12;  // 32 bits

constexpr size_t EntryOffset(size_t slot) { return kTableOffset + kEntryBytes * slot; }

inline bool HasBootMark(const uint8_t* sector) {
    return sector[kBootMarkOffset] == 0x55 && sector[kBootMarkOffset + 1] == 0xAA;
}

}  // namespace platform::mbr
