// A small writer of Apple UDIF disk images (.dmg) for test fixtures: a whole-disk image
// made of partitions (driver descriptor map, partition map, the given file-system images,
// a free tail), stored in raw, zlib and zero chunks, with the XML property list of block
// tables and the 512-byte trailer at the end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fixtures {

struct DiskPartition {
    std::string type;           // "Apple_HFS"
    std::vector<uint8_t> data;  // padded to whole 512-byte sectors when written
};

// Sectors per chunk; small so that little fixtures still hold several chunks.
inline constexpr uint64_t kChunkSectors = 128;

// The image's bytes.
std::vector<uint8_t> BuildUdif(const std::vector<DiskPartition>& partitions);

}  // namespace fixtures
