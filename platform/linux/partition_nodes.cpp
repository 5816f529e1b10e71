#include "platform/linux/partition_nodes.h"

#include <fcntl.h>
#include <linux/blkpg.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <array>
#include <chrono>
#include <map>
#include <thread>

#include "platform/linux/mbr.h"
#include "platform/linux/sysfs.h"
#include "platform/linux/unique_fd.h"

namespace platform::linuxos {
namespace {

struct Extent {
    int64_t start = 0;  // 512-byte units, as sysfs counts
    int64_t size = 0;
    bool operator==(const Extent&) const = default;
};
using Extents = std::map<int32_t, Extent>;  // by partition number

struct Table {
    Extents wanted;                  // primary partitions in use
    std::array<bool, 4> extended{};  // slots the kernel keeps its own way
};

std::optional<Table> ReadTable(int fd) {
    int sectorSize = 0;
    std::array<uint8_t, kMbrBytes> sector{};
    if (ioctl(fd, BLKSSZGET, &sectorSize) != 0 || sectorSize <= 0) return std::nullopt;
    if (pread(fd, sector.data(), sector.size(), 0) != ssize_t(sector.size())) return std::nullopt;
    auto layout = DecodeMbr(sector, uint32_t(sectorSize));
    if (!layout || layout->PartitionCount == 0) return std::nullopt;
    Table table;
    for (size_t slot = 0; slot < layout->Entries.size(); ++slot) {
        const PartitionInformation& entry = layout->Entries[slot];
        table.extended[slot] = IsExtendedType(entry.PartitionType);
        if (entry.PartitionLength > 0 && !table.extended[slot])
            table.wanted[int32_t(slot + 1)] = {entry.StartingOffset / 512,
                                               entry.PartitionLength / 512};
    }
    return table;
}

Extents KernelPrimaries(const std::string& disk, const Table& table) {
    Extents extents;
    for (const KernelPartition& partition : KernelPartitions(disk))
        if (partition.number >= 1 && partition.number <= 4 && !table.extended[partition.number - 1])
            extents[partition.number] = {partition.start, partition.size};
    return extents;
}

bool ChangePartition(int fd, int op, int32_t number, const Extent& extent) {
    blkpg_partition partition{};
    partition.start = extent.start * 512;
    partition.length = extent.size * 512;
    partition.pno = number;
    blkpg_ioctl_arg request{};
    request.op = op;
    request.datalen = sizeof(partition);
    request.data = &partition;
    return ioctl(fd, BLKPG, &request) == 0;
}

// Removes what differs from the table, then adds what is missing.
void ChangeEachPartition(int fd, const Extents& wanted, const Extents& present) {
    for (const auto& [number, extent] : present) {
        auto it = wanted.find(number);
        if (it == wanted.end() || it->second != extent)
            ChangePartition(fd, BLKPG_DEL_PARTITION, number, extent);
    }
    for (const auto& [number, extent] : wanted) {
        auto it = present.find(number);
        if (it == present.end() || it->second != extent)
            ChangePartition(fd, BLKPG_ADD_PARTITION, number, extent);
    }
}

bool NodeReady(const std::string& path, dev_t device) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISBLK(info.st_mode) && info.st_rdev == device;
}

// devtmpfs makes nodes at once; a device manager may take a moment; failing both, make one.
bool EnsureNode(const KernelPartition& partition) {
    std::string path = "/dev/" + partition.name;
    for (int tries = 0; tries < 50; ++tries) {
        if (NodeReady(path, partition.device)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    mknod(path.c_str(), S_IFBLK | 0660, partition.device);
    return NodeReady(path, partition.device);
}

bool EnsureNodes(const std::string& disk) {
    bool ready = true;
    for (const KernelPartition& partition : KernelPartitions(disk))
        ready = EnsureNode(partition) && ready;
    return ready;
}

}  // namespace

void RemoveKernelPartitions(int diskFd, const std::string& disk) {
    for (const KernelPartition& partition : KernelPartitions(disk))
        ChangePartition(diskFd, BLKPG_DEL_PARTITION, partition.number, {});
}

bool SyncPartitionNodes(const std::string& disk) {
    UniqueFd fd(open(("/dev/" + disk).c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) return false;
    auto table = ReadTable(fd.get());
    if (!table) return EnsureNodes(disk);
    if (KernelPrimaries(disk, *table) != table->wanted) {
        ioctl(fd.get(), BLKRRPART);
        Extents present = KernelPrimaries(disk, *table);
        if (present != table->wanted) ChangeEachPartition(fd.get(), table->wanted, present);
    }
    return EnsureNodes(disk) && KernelPrimaries(disk, *table) == table->wanted;
}

}  // namespace platform::linuxos
