// The MBR of a disk image, decoded as the layout query reports it, and the drive list
// lines made of it: entries within the 32-bit sector fields, numbered by their slots.
#include <array>
#include <cstdint>
#include <cstring>

#include "disk/disk_record.h"
#include "disk/drive_list.h"
#include "platform/linux/mbr.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    constexpr uint32_t kSectorSizes[] = {512, 1024, 2048, 4096};
    uint32_t sectorSize = kSectorSizes[data[0] % 4];
    std::array<uint8_t, platform::linuxos::kMbrBytes> sector{};
    std::memcpy(sector.data(), data + 1, std::min(size - 1, sector.size()));
    auto layout = platform::linuxos::DecodeMbr(sector, sectorSize);
    if (!layout) return 0;
    bool signed_ = sector[510] == 0x55 && sector[511] == 0xAA;
    FUZZ_CHECK(layout->PartitionCount == (signed_ ? 4u : 0u));
    disk::DiskRecord record;
    record.PartitionCount = int32_t(layout->PartitionCount);
    record.Signature = layout->Signature;
    for (uint32_t slot = 0; slot < layout->Entries.size(); ++slot) {
        const platform::PartitionInformation& entry = layout->Entries[slot];
        FUZZ_CHECK(entry.StartingOffset >= 0 && entry.PartitionLength >= 0);
        FUZZ_CHECK(entry.StartingOffset <= int64_t(UINT32_MAX) * sectorSize);
        FUZZ_CHECK(entry.PartitionLength <= int64_t(UINT32_MAX) * sectorSize);
        FUZZ_CHECK(entry.PartitionLength % sectorSize == 0 &&
                   entry.StartingOffset % sectorSize == 0);
        if (entry.PartitionLength == 0) continue;
        FUZZ_CHECK(entry.PartitionNumber == slot + 1);
        FUZZ_CHECK(entry.StartingOffset == int64_t(entry.HiddenSectors) * sectorSize);
        static_cast<platform::PartitionInformation&>(record.Partitions[slot]) = entry;
        record.Partitions[slot].FsName = disk::PartitionTypeName(entry.PartitionType);
        FUZZ_CHECK(fuzz::IsUtf8(disk::PartitionLine(record.Partitions[slot], int(slot))));
    }
    FUZZ_CHECK(fuzz::IsUtf8(disk::DiskLine(record)));
    return 0;
}
