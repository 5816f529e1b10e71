// A small writer of Apple UDIF disk images (.dmg) for test fixtures: a whole-disk image
// made of the given file-system images laid out as hdiutil's layouts lay them (an Apple
// partition map, an MBR, a GPT, or no map at all), stored in chunks of one compression,
// zero chunks and free space, with the XML property list of block tables and the 512-byte
// trailer at the end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/archiver/udif_chunks.h"

namespace fixtures {

struct DiskPartition {
    std::string type;           // "Apple_HFS", "Apple_APFS", "DOS_FAT_32", ...
    std::vector<uint8_t> data;  // padded to whole 512-byte sectors when written
};

// hdiutil's -layout SPUD, MBRSPUD, GPTSPUD and NONE (one partition, the whole disk).
enum class Scheme { Apple, Mbr, Gpt, None };

// Sectors per chunk; small so that little fixtures still hold several chunks.
inline constexpr uint64_t kChunkSectors = 128;

// The image's bytes.
std::vector<uint8_t> BuildUdif(const std::vector<DiskPartition>& partitions,
                               Scheme scheme = Scheme::Apple,
                               Compression compression = Compression::Zlib);

}  // namespace fixtures
