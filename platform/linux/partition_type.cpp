#include "platform/linux/partition_type.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>

#include <vector>

#include "platform/linux/block_node.h"
#include "platform/linux/mbr.h"
#include "platform/linux/unique_fd.h"
#include "platform/mbr_layout.h"

namespace platform::linuxos {
namespace {

// Whether slot `number` of the table is the partition the kernel shows under that number.
bool EntryDescribes(const std::vector<uint8_t>& sector, uint32_t sectorSize,
                    const BlockDevice& partition) {
    auto layout =
        DecodeMbr(std::span<const uint8_t, kMbrBytes>(sector.data(), kMbrBytes), sectorSize);
    if (!layout) return false;
    const PartitionInformation& entry = layout->Entries[size_t(partition.partition - 1)];
    auto start = ReadNumber("/sys/class/block/" + partition.name + "/start");
    return entry.PartitionLength > 0 && start && entry.StartingOffset == *start * 512;
}

}  // namespace

std::optional<uint8_t> FormattedPartitionType(const std::string& fileSystem) {
    if (fileSystem == "FAT32") return 0x0C;
    if (fileSystem == "exFAT" || fileSystem == "NTFS") return 0x07;
    return std::nullopt;
}

bool SetPartitionType(const BlockDevice& partition, uint8_t type) {
    if (partition.partition < 1 || partition.partition > 4) return true;
    UniqueFd fd(open(("/dev/" + partition.disk).c_str(), O_RDWR | O_CLOEXEC));
    int sectorSize = 0;
    if (!fd || ioctl(fd.get(), BLKSSZGET, &sectorSize) != 0 || sectorSize < int(kMbrBytes))
        return false;
    std::vector<uint8_t> sector(static_cast<size_t>(sectorSize));
    if (pread(fd.get(), sector.data(), sector.size(), 0) != ssize_t(sector.size())) return false;
    if (!EntryDescribes(sector, uint32_t(sectorSize), partition)) return true;
    uint8_t& held = sector[mbr::EntryOffset(size_t(partition.partition - 1)) + mbr::kType];
    if (held == type) return true;
    held = type;
    return pwrite(fd.get(), sector.data(), sector.size(), 0) == ssize_t(sector.size()) &&
           FlushBlockDevice(fd.get());
}

}  // namespace platform::linuxos
