// What the format service asks of the mkfs tools, and what their answers mean.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/disks.h"

namespace platform::linuxos {

// The partition as the tools must be told it: on a partition node they cannot find its
// start or the disk's geometry by themselves.
struct FormatTarget {
    std::string node;
    int64_t startSector = 0;  // in the disk's own sectors
    uint32_t sectorSize = 512;
    uint32_t heads = 255;
    uint32_t sectorsPerTrack = 63;
};

struct MkfsPlan {
    std::vector<std::string> argv;
    std::string probedType;   // libblkid's name of the file system made
    bool toolZeroes = false;  // a full format the tool does itself, printing its progress
};

// nullopt for a file system the service does not make.
std::optional<MkfsPlan> PlanMkfs(const FormatRequest& request, const FormatTarget& target);

// The tool PlanMkfs would run for a file system; "" for none.
std::string MkfsTool(const std::string& fileSystem);

// Whether the file system can have clusters of that many bytes on that sector size; 0
// (the tool's choice) always can.
bool ClusterSizeFits(const std::string& fileSystem, uint32_t clusterSize, uint32_t sectorSize);

// The number of clusters of the FAT volume whose boot sector this is (at least 512 bytes).
// FAT drivers, firmware among them, take a volume of fewer than kFat32MinClusters for
// FAT16 whatever its layout; mkfs.fat only warns about it.
constexpr uint32_t kFat32MinClusters = 65525;
uint32_t FatClusterCount(const std::vector<uint8_t>& bootSector);

// The error command a failed tool's messages name, or 0 for none. Complaints about the
// cluster count only blame the cluster size when one was asked for.
uint32_t FailureCommand(const std::string& output, bool clusterSizeGiven);

// The error command for an errno of opening or writing the volume, or 0 for none.
uint32_t FailureCommandOfErrno(int error);

// The percentages in a tool's output ("  5%\b\b\b\b  6%"), fed as it arrives.
class PercentReader {
public:
    std::vector<uint32_t> Feed(const std::string& text);

private:
    std::string pending_;  // digits that may be followed by '%' in the next piece
};

}  // namespace platform::linuxos
