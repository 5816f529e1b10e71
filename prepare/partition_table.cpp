#include "prepare/partition_table.h"

#include <algorithm>
#include <cstring>

#include "core/progress.h"
#include "core/state.h"
#include "disk/raw_access.h"
#include "platform/byte_order.h"
#include "platform/clock.h"
#include "platform/mbr_layout.h"

namespace prepare {
namespace {

constexpr int kClearedSectors = 128;

bool ClearRange(platform::DiskHandle* disk, const std::vector<uint8_t>& zero, int64_t first,
                int64_t bytesPerSector) {
    for (int64_t lba = first; lba < first + kClearedSectors; ++lba) {
        if (core::CancelFlag != 0) return false;
        if (disk::WriteSectors(disk, bytesPerSector, lba, 1, zero.data()) < bytesPerSector)
            return false;
    }
    return true;
}

// One entry: status, start CHS, type, end CHS, first LBA, count (low 32 bits).
void PutEntry(uint8_t* entry, uint8_t status, int64_t first, int64_t count, int64_t end,
              int64_t sectorsPerTrack) {
    namespace mbr = platform::mbr;
    entry[mbr::kStatus] = status;
    std::array<uint8_t, 3> start = ChsAddress(first, sectorsPerTrack);
    std::memcpy(entry + mbr::kFirstChs, start.data(), 3);
    entry[mbr::kType] = 0x06;
    std::array<uint8_t, 3> last = end >= kChsLimit ? std::array<uint8_t, 3>{0xFE, 0xFF, 0xFF}
                                                   : ChsAddress(end - 1, sectorsPerTrack);
    std::memcpy(entry + mbr::kLastChs, last.data(), 3);
    platform::WriteLe32(entry + mbr::kFirstSector, uint32_t(first));
    platform::WriteLe32(entry + mbr::kSectorCount, uint32_t(count));
}

// A write the system refused (a volume of the disk still in use) leaves the old table:
// what sector 0 holds now must be the signature and the entries just written.
bool TableReadsBack(platform::DiskHandle* disk, const std::vector<uint8_t>& written,
                    int64_t bytesPerSector) {
    namespace mbr = platform::mbr;
    std::vector<uint8_t> sector(size_t(bytesPerSector), 0);
    if (disk::ReadSectors(disk, bytesPerSector, 0, 1, sector.data()) != bytesPerSector)
        return false;
    auto same = [&](size_t from, size_t to) {
        return std::equal(written.begin() + long(from), written.begin() + long(to),
                          sector.begin() + long(from));
    };
    return same(mbr::kSignatureOffset, mbr::kSignatureOffset + 4) &&
           same(mbr::kTableOffset, mbr::kTableOffset + sizeof(PartitionArea));
}

}  // namespace

int ClearPartitionStructures(platform::DiskHandle* disk, int64_t diskSizeBytes,
                             int64_t bytesPerSector) {
    if (bytesPerSector <= 0) return 0;
    int64_t sectors = diskSizeBytes / bytesPerSector;
    std::vector<uint8_t> zero(size_t(bytesPerSector), 0);
    core::DrawStatus("Clearing MBR/GPT structures ...");
    if (!ClearRange(disk, zero, 0, bytesPerSector)) return 0;
    // A disk of fewer than 256 sectors: the tail range overlaps the head or starts before it.
    return ClearRange(disk, zero, std::max<int64_t>(0, sectors - kClearedSectors), bytesPerSector)
               ? 1
               : 0;
}

std::array<uint8_t, 3> ChsAddress(int64_t lba, int64_t sectorsPerTrack) {
    if (sectorsPerTrack <= 0) sectorsPerTrack = 63;
    int64_t sector = lba % sectorsPerTrack + 1;
    int64_t head = lba / sectorsPerTrack % 255;
    int64_t cylinder = lba / (sectorsPerTrack * 255);
    uint16_t field = uint16_t(sector + ((cylinder & 0x300) >> 2) + ((cylinder & 0xFF) << 8));
    return {uint8_t(head), uint8_t(field & 0xFF), uint8_t(field >> 8)};
}

PartitionArea BuildPartitionTable(const PartitionLayout& layout) {
    PartitionArea area{};
    area[64] = 0x55;
    area[65] = 0xAA;
    int64_t start = layout.startSector;
    int64_t total = layout.totalSectors;
    if (!layout.twoPartitions) {
        PutEntry(area.data(), 0x80, start, total - start, layout.geometryCapacity,
                 layout.sectorsPerTrack);
        return area;
    }
    int64_t boot = layout.bootSizeMb * 1024 * 1024 / layout.bytesPerSector;
    PutEntry(area.data(), 0x80, start, boot, start + boot, layout.sectorsPerTrack);
    PutEntry(area.data() + platform::mbr::kEntryBytes, 0x00, start + boot, total - start - boot,
             layout.geometryCapacity, layout.sectorsPerTrack);
    return area;
}

bool WriteMasterBootRecord(platform::DiskHandle* disk, std::vector<uint8_t>& mbr,
                           const PartitionArea& area, int64_t bytesPerSector) {
    std::memcpy(mbr.data() + platform::mbr::kTableOffset, area.data(), area.size());
    platform::WriteLe32(mbr.data() + platform::mbr::kSignatureOffset,
                        uint32_t(platform::SystemClock().TickMs()));
    disk::WriteSectors(disk, bytesPerSector, 0, 1, mbr.data());
    std::vector<uint8_t> zero(size_t(bytesPerSector), 0);
    for (size_t entry = 0; entry < platform::mbr::kEntryCount; ++entry) {
        uint32_t first = platform::ReadLe32(area.data() + platform::mbr::kEntryBytes * entry +
                                            platform::mbr::kFirstSector);
        if (first == 0) continue;
        core::ShowStatus("Clearing PBR structures ...", 0);
        disk::WriteSectors(disk, bytesPerSector, first, 1, zero.data());
    }
    if (!disk) return false;
    disk->UpdateProperties();
    return TableReadsBack(disk, mbr, bytesPerSector);
}

void SetPartitionTypeLba(platform::DiskHandle* disk, int64_t bytesPerSector) {
    constexpr size_t kFirstType = platform::mbr::EntryOffset(0) + platform::mbr::kType;
    std::vector<uint8_t> sector(size_t(bytesPerSector), 0);
    // A sector that could not be read is never written back, and one that names the type
    // already (the format service may have set it) needs no write.
    if (disk::ReadSectors(disk, bytesPerSector, 0, 1, sector.data()) != bytesPerSector ||
        sector[kFirstType] == 0x0C)
        return;
    sector[kFirstType] = 0x0C;
    disk::WriteSectors(disk, bytesPerSector, 0, 1, sector.data());
}

}  // namespace prepare
