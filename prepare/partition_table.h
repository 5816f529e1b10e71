// The partition structures of a whole disk: clearing the old ones, building and writing
// a fresh MBR table with one or two partitions, and the FAT32-LBA type fix-up.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "platform/disks.h"

namespace prepare {

// Four 16-byte entries and the 0x55 0xAA signature: bytes 446-511 of the MBR.
using PartitionArea = std::array<uint8_t, 66>;

struct PartitionLayout {
    int64_t startSector = 0;  // S
    bool twoPartitions = false;
    int64_t bootSizeMb = 0;        // size of the first of two partitions
    int64_t bytesPerSector = 512;  // B
    int64_t sectorsPerTrack = 63;  // T
    int64_t heads = 255;           // H
    int64_t totalSectors = 0;      // N
    int64_t geometryCapacity = 0;  // G, the last partition's CHS end
};

// Every exclusive end from here on gets the capped CHS end 254/0xFFFF.
constexpr int64_t kChsLimit = 1024 * 255 * 63;
// An MBR entry counts sectors in 32 bits: a larger disk cannot be described.
constexpr int64_t kMbrSectorLimit = int64_t(1) << 32;

// Zeroes the first and last 128 sectors one at a time; stops early on a short write or
// a cancel request. 1 when all were cleared.
int ClearPartitionStructures(platform::DiskHandle* disk, int64_t diskSizeBytes,
                             int64_t bytesPerSector);

PartitionArea BuildPartitionTable(const PartitionLayout& layout);

// The 3-byte CHS address of an LBA: head, then sector/cylinder-high, cylinder-low.
std::array<uint8_t, 3> ChsAddress(int64_t lba, int64_t sectorsPerTrack);

// Puts the table and a new disk signature into mbr (one sector holding the boot code),
// writes it as sector 0, zeroes each new partition's first sector and makes the system
// take in the new layout. False when sector 0 does not read back with the signature and
// the entries written: nothing more may be written then.
bool WriteMasterBootRecord(platform::DiskHandle* disk, std::vector<uint8_t>& mbr,
                           const PartitionArea& area, int64_t bytesPerSector);

// Entry 1 becomes type 0x0C; everything else in sector 0 stays. Nothing is written when
// sector 0 cannot be read.
void SetPartitionTypeLba(platform::DiskHandle* disk, int64_t bytesPerSector);

}  // namespace prepare
