#include "tests/archiver/udif_writer.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace fixtures {
namespace {

constexpr uint64_t kSector = 512;
constexpr uint64_t kMapSectors = 63;
constexpr uint64_t kFreeSectors = 16;
constexpr uint32_t kCrc32Type = 2;

// Chunk types of a block table.
constexpr uint32_t kZeroFill = 0;
constexpr uint32_t kRaw = 1;
constexpr uint32_t kIgnored = 2;  // free space, left out of the checksum
constexpr uint32_t kZlib = 0x80000005;
constexpr uint32_t kEnd = 0xFFFFFFFF;

void PutBe(std::vector<uint8_t>& out, size_t at, uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i, value >>= 8) out[at + i] = static_cast<uint8_t>(value);
}

void PutText(std::vector<uint8_t>& out, size_t at, const std::string& text) {
    std::copy(text.begin(), text.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
}

uint32_t Crc(const uint8_t* data, size_t size, uint32_t crc = 0) {
    return static_cast<uint32_t>(crc32(crc, data, static_cast<uInt>(size)));
}

std::string Base64(const std::vector<uint8_t>& data) {
    static const char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (size_t i = 0; i < data.size(); i += 3) {
        uint32_t group = data[i] << 16;
        if (i + 1 < data.size()) group |= data[i + 1] << 8;
        if (i + 2 < data.size()) group |= data[i + 2];
        for (size_t k = 0; k < 4; ++k) {
            text += i + k <= data.size() ? kDigits[(group >> (18 - 6 * k)) & 63] : '=';
        }
    }
    return text;
}

struct Region {
    std::string description;
    std::string type;
    uint64_t start = 0;  // sector on the disk
    std::vector<uint8_t> data;
    bool free = false;
};

// The disk's first sector: block size and disk size.
std::vector<uint8_t> DescriptorMap(uint64_t disk_sectors) {
    std::vector<uint8_t> block(kSector);
    PutText(block, 0, "ER");
    PutBe(block, 2, kSector, 2);
    PutBe(block, 4, disk_sectors, 4);
    return block;
}

// One 512-byte entry per partition, the map's own entry first.
std::vector<uint8_t> PartitionMap(const std::vector<Region>& regions) {
    std::vector<uint8_t> map(kMapSectors * kSector);
    const size_t entries = regions.size() - 1;  // the descriptor map has none
    for (size_t i = 1; i < regions.size(); ++i) {
        const Region& region = regions[i];
        const uint64_t sectors = i == 1 ? kMapSectors : region.data.size() / kSector;
        const size_t at = (i - 1) * kSector;
        PutText(map, at, "PM");
        PutBe(map, at + 4, entries, 4);
        PutBe(map, at + 8, region.start, 4);
        PutBe(map, at + 12, sectors, 4);
        PutText(map, at + 16, region.description.substr(0, 31));
        PutText(map, at + 48, region.type);
        PutBe(map, at + 84, sectors, 4);
        PutBe(map, at + 88, region.free ? 0 : 0x37, 4);
    }
    return map;
}

// Appends the region's chunks to the data fork and returns its block table.
std::vector<uint8_t> WriteRegion(const Region& region, uint32_t id, std::vector<uint8_t>& fork) {
    const uint64_t sectors = region.data.size() / kSector;
    struct Chunk {
        uint32_t type;
        uint64_t sector, count, offset, length;
    };
    std::vector<Chunk> chunks;
    uint32_t crc = 0;
    if (region.free) {
        chunks.push_back({kIgnored, 0, sectors, fork.size(), 0});
    } else {
        for (uint64_t sector = 0; sector < sectors; sector += kChunkSectors) {
            const uint64_t count = std::min(kChunkSectors, sectors - sector);
            const uint8_t* raw = region.data.data() + sector * kSector;
            const size_t size = count * kSector;
            crc = Crc(raw, size, crc);
            Chunk chunk{kRaw, sector, count, fork.size(), size};
            if (std::all_of(raw, raw + size, [](uint8_t b) { return b == 0; })) {
                chunk.type = kZeroFill;
                chunk.length = 0;
            } else {
                uLongf packed_size = compressBound(size);
                std::vector<uint8_t> packed(packed_size);
                if (compress2(packed.data(), &packed_size, raw, size, 9) == Z_OK &&
                    packed_size < size) {
                    chunk.type = kZlib;
                    chunk.length = packed_size;
                    fork.insert(fork.end(), packed.begin(), packed.begin() + packed_size);
                } else {
                    fork.insert(fork.end(), raw, raw + size);
                }
            }
            chunks.push_back(chunk);
        }
    }
    chunks.push_back({kEnd, sectors, 0, fork.size(), 0});

    std::vector<uint8_t> table(0xCC + 40 * chunks.size());
    PutText(table, 0, "mish");
    PutBe(table, 4, 1, 4);
    PutBe(table, 8, region.start, 8);
    PutBe(table, 0x10, sectors, 8);
    PutBe(table, 0x20, kChunkSectors + 8, 4);
    PutBe(table, 0x24, id, 4);
    PutBe(table, 0x40, kCrc32Type, 4);
    PutBe(table, 0x44, 32, 4);
    PutBe(table, 0x48, crc, 4);
    PutBe(table, 0xC8, chunks.size(), 4);
    for (size_t i = 0; i < chunks.size(); ++i) {
        const size_t at = 0xCC + 40 * i;
        PutBe(table, at, chunks[i].type, 4);
        PutBe(table, at + 8, chunks[i].sector, 8);
        PutBe(table, at + 16, chunks[i].count, 8);
        PutBe(table, at + 24, chunks[i].offset, 8);
        PutBe(table, at + 32, chunks[i].length, 8);
    }
    return table;
}

std::string PlistEntry(const Region& region, size_t index, int32_t id,
                       const std::vector<uint8_t>& table) {
    const std::string name =
        region.description + " (" + region.type + " : " + std::to_string(index) + ")";
    return "\t\t\t<dict>\n"
           "\t\t\t\t<key>Attributes</key>\n\t\t\t\t<string>0x0050</string>\n"
           "\t\t\t\t<key>CFName</key>\n\t\t\t\t<string>" +
           name + "</string>\n\t\t\t\t<key>Data</key>\n\t\t\t\t<data>" + Base64(table) +
           "</data>\n\t\t\t\t<key>ID</key>\n\t\t\t\t<string>" + std::to_string(id) +
           "</string>\n\t\t\t\t<key>Name</key>\n\t\t\t\t<string>" + name +
           "</string>\n\t\t\t</dict>\n";
}

}  // namespace

std::vector<uint8_t> BuildUdif(const std::vector<DiskPartition>& partitions) {
    std::vector<Region> regions;
    regions.push_back({"Driver Descriptor Map", "DDM", 0, {}, false});
    regions.push_back({"Apple", "Apple_partition_map", 1, {}, false});
    uint64_t next = 1 + kMapSectors;
    for (const DiskPartition& partition : partitions) {
        Region region{"disk image", partition.type, next, partition.data, false};
        region.data.resize((region.data.size() + kSector - 1) / kSector * kSector);
        next += region.data.size() / kSector;
        regions.push_back(std::move(region));
    }
    regions.push_back({"", "Apple_Free", next, std::vector<uint8_t>(kFreeSectors * kSector), true});
    const uint64_t disk_sectors = next + kFreeSectors;
    regions[0].data = DescriptorMap(disk_sectors);
    regions[1].data = PartitionMap(regions);

    std::vector<uint8_t> image;
    std::string plist =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
        "\t<key>resource-fork</key>\n\t<dict>\n\t\t<key>blkx</key>\n\t\t<array>\n";
    std::vector<uint8_t> checksums;
    for (size_t i = 0; i < regions.size(); ++i) {
        const int32_t id = static_cast<int32_t>(i) - 1;
        const std::vector<uint8_t> table =
            WriteRegion(regions[i], static_cast<uint32_t>(id), image);
        checksums.insert(checksums.end(), table.begin() + 0x48, table.begin() + 0x4C);
        plist += PlistEntry(regions[i], i, id, table);
    }
    plist += "\t\t</array>\n\t</dict>\n</dict>\n</plist>\n";

    const uint64_t fork_size = image.size();
    const uint32_t fork_crc = Crc(image.data(), image.size());
    image.insert(image.end(), plist.begin(), plist.end());

    std::vector<uint8_t> trailer(kSector);
    PutText(trailer, 0, "koly");
    PutBe(trailer, 4, 4, 4);
    PutBe(trailer, 8, kSector, 4);
    PutBe(trailer, 0x0C, 1, 4);  // flattened
    PutBe(trailer, 0x20, fork_size, 8);
    PutBe(trailer, 0x38, 1, 4);
    PutBe(trailer, 0x3C, 1, 4);
    PutText(trailer, 0x40, "stickforgefixtur");
    PutBe(trailer, 0x50, kCrc32Type, 4);
    PutBe(trailer, 0x54, 32, 4);
    PutBe(trailer, 0x58, fork_crc, 4);
    PutBe(trailer, 0xD8, fork_size, 8);
    PutBe(trailer, 0xE0, plist.size(), 8);
    PutBe(trailer, 0x160, kCrc32Type, 4);
    PutBe(trailer, 0x164, 32, 4);
    PutBe(trailer, 0x168, Crc(checksums.data(), checksums.size()), 4);
    PutBe(trailer, 0x1E8, 1, 4);
    PutBe(trailer, 0x1EC, disk_sectors, 8);
    image.insert(image.end(), trailer.begin(), trailer.end());
    return image;
}

}  // namespace fixtures
