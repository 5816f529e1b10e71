#include "tests/archiver/udif_writer.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace fixtures {
namespace {

constexpr uint64_t kSector = 512;
constexpr uint64_t kMapSectors = 63;
constexpr uint64_t kFreeSectors = 16;
constexpr uint64_t kGptTableSectors = 32;
constexpr uint32_t kGptEntries = 128;
constexpr uint32_t kCrc32Type = 2;

// Chunk types of a block table besides the compressed ones.
constexpr uint32_t kZeroFill = 0;
constexpr uint32_t kIgnored = 2;  // free space, left out of the checksum
constexpr uint32_t kEnd = 0xFFFFFFFF;

void PutBe(std::vector<uint8_t>& out, size_t at, uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i, value >>= 8) out[at + i] = static_cast<uint8_t>(value);
}

void PutLe(std::vector<uint8_t>& out, size_t at, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i, value >>= 8) out[at + i] = static_cast<uint8_t>(value);
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
    uint64_t sectors() const { return data.size() / kSector; }
    uint64_t end() const { return start + sectors(); }
};

Region Free(uint64_t start, uint64_t sectors) {
    return {"", "Apple_Free", start, std::vector<uint8_t>(sectors * kSector), true};
}

// The partitions one after the other from the sector on, as "disk image" regions.
uint64_t Place(const std::vector<DiskPartition>& partitions, uint64_t sector,
               std::vector<Region>& regions) {
    for (const DiskPartition& partition : partitions) {
        Region region{"disk image", partition.type, sector, partition.data, false};
        region.data.resize((region.data.size() + kSector - 1) / kSector * kSector);
        sector = region.end();
        regions.push_back(std::move(region));
    }
    return sector;
}

// Driver descriptor map, the map with one 512-byte entry per partition (its own first),
// the partitions and a free tail.
std::vector<Region> AppleLayout(const std::vector<DiskPartition>& partitions) {
    std::vector<Region> regions;
    regions.push_back({"Driver Descriptor Map", "DDM", 0, std::vector<uint8_t>(kSector), false});
    regions.push_back(
        {"Apple", "Apple_partition_map", 1, std::vector<uint8_t>(kMapSectors * kSector), false});
    uint64_t next = Place(partitions, 1 + kMapSectors, regions);
    regions.push_back(Free(next, kFreeSectors));
    std::vector<uint8_t>& ddm = regions[0].data;
    PutText(ddm, 0, "ER");
    PutBe(ddm, 2, kSector, 2);
    PutBe(ddm, 4, regions.back().end(), 4);
    std::vector<uint8_t>& map = regions[1].data;
    const size_t entries = regions.size() - 1;
    for (size_t i = 1; i < regions.size(); ++i) {
        const Region& region = regions[i];
        const size_t at = (i - 1) * kSector;
        PutText(map, at, "PM");
        PutBe(map, at + 4, entries, 4);
        PutBe(map, at + 8, region.start, 4);
        PutBe(map, at + 12, region.sectors(), 4);
        PutText(map, at + 16, region.description.substr(0, 31));
        PutText(map, at + 48, region.type);
        PutBe(map, at + 84, region.sectors(), 4);
        PutBe(map, at + 88, region.free ? 0 : 0x37, 4);
    }
    return regions;
}

void PutMbrEntry(std::vector<uint8_t>& sector, size_t slot, uint8_t type, uint64_t start,
                 uint64_t count) {
    const size_t at = 446 + 16 * slot;
    std::fill_n(sector.begin() + static_cast<std::ptrdiff_t>(at) + 1, 3, 0xFF);  // past CHS
    sector[at + 4] = type;
    std::fill_n(sector.begin() + static_cast<std::ptrdiff_t>(at) + 5, 3, 0xFF);
    PutLe(sector, at + 8, start, 4);
    PutLe(sector, at + 12, std::min<uint64_t>(count, 0xFFFFFFFF), 4);
    sector[510] = 0x55;
    sector[511] = 0xAA;
}

uint8_t MbrType(const std::string& type) {
    if (type == "Apple_HFS") return 0xAF;
    if (type == "DOS_FAT_32") return 0x0C;
    return 0xDA;
}

// The MBR, free space up to sector 63, the partitions (four at most) and a free tail.
std::vector<Region> MbrLayout(const std::vector<DiskPartition>& partitions) {
    std::vector<Region> regions;
    regions.push_back({"Master Boot Record", "MBR", 0, std::vector<uint8_t>(kSector), false});
    regions.push_back(Free(1, 62));
    uint64_t next = Place(partitions, 63, regions);
    regions.push_back(Free(next, kFreeSectors));
    for (size_t i = 0; i < partitions.size() && i < 4; ++i) {
        const Region& region = regions[2 + i];
        PutMbrEntry(regions[0].data, i, MbrType(region.type), region.start, region.sectors());
    }
    return regions;
}

// "48465300-0000-11AA-AA11-00306543ECAC" as GPT stores it: the first three groups
// little-endian.
void PutGuid(std::vector<uint8_t>& out, size_t at, const std::string& text) {
    std::string hex;
    for (char c : text)
        if (c != '-') hex += c;
    uint8_t bytes[16];
    for (size_t i = 0; i < 16; ++i)
        bytes[i] = static_cast<uint8_t>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
    const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    for (size_t i = 0; i < 16; ++i) out[at + i] = bytes[order[i]];
}

std::string GptType(const std::string& type) {
    if (type == "Apple_HFS") return "48465300-0000-11AA-AA11-00306543ECAC";
    if (type == "Apple_APFS") return "7C3457EF-0000-11AA-AA11-00306543ECAC";
    return "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7";  // basic data
}

std::vector<uint8_t> GptHeader(uint64_t self, uint64_t other, uint64_t table, uint64_t disk,
                               uint32_t tableCrc) {
    std::vector<uint8_t> header(kSector);
    PutText(header, 0, "EFI PART");
    PutLe(header, 8, 0x00010000, 4);
    PutLe(header, 12, 92, 4);
    PutLe(header, 24, self, 8);
    PutLe(header, 32, other, 8);
    PutLe(header, 40, 2 + kGptTableSectors, 8);
    PutLe(header, 48, disk - 2 - kGptTableSectors, 8);
    PutGuid(header, 56, "5354494B-464F-5247-4546-495854555245");
    PutLe(header, 72, table, 8);
    PutLe(header, 80, kGptEntries, 4);
    PutLe(header, 84, 128, 4);
    PutLe(header, 88, tableCrc, 4);
    PutLe(header, 16, Crc(header.data(), 92), 4);
    return header;
}

// Protective MBR, header and table, free space up to sector 40, the partitions, a free
// tail, then the backup table and header.
std::vector<Region> GptLayout(const std::vector<DiskPartition>& partitions) {
    const uint64_t first = 2 + kGptTableSectors;
    std::vector<Region> regions;
    regions.push_back(
        {"Protective Master Boot Record", "MBR", 0, std::vector<uint8_t>(kSector), false});
    regions.push_back({"GPT Header", "Primary GPT Header", 1, {}, false});
    regions.push_back({"GPT Partition Data", "Primary GPT Table", 2,
                       std::vector<uint8_t>(kGptTableSectors * kSector), false});
    regions.push_back(Free(first, 40 - first));
    uint64_t next = Place(partitions, 40, regions);
    regions.push_back(Free(next, kFreeSectors));
    const uint64_t backupTable = next + kFreeSectors;
    const uint64_t disk = backupTable + kGptTableSectors + 1;
    std::vector<uint8_t>& table = regions[2].data;
    for (size_t i = 0; i < partitions.size(); ++i) {
        const Region& region = regions[4 + i];
        const size_t at = 128 * i;
        PutGuid(table, at, GptType(region.type));
        PutGuid(table, at + 16, "00000000-0000-4000-8000-00000000000" + std::to_string(1 + i % 9));
        PutLe(table, at + 32, region.start, 8);
        PutLe(table, at + 40, region.end() - 1, 8);
        for (size_t k = 0; k < region.description.size(); ++k)
            table[at + 56 + 2 * k] = static_cast<uint8_t>(region.description[k]);
    }
    const uint32_t tableCrc = Crc(table.data(), table.size());
    regions[1].data = GptHeader(1, disk - 1, 2, disk, tableCrc);
    regions.push_back({"GPT Partition Data", "Backup GPT Table", backupTable, table, false});
    regions.push_back({"GPT Header", "Backup GPT Header", disk - 1,
                       GptHeader(disk - 1, 1, backupTable, disk, tableCrc), false});
    PutMbrEntry(regions[0].data, 0, 0xEE, 1, disk - 1);
    return regions;
}

// The one file system is the whole disk.
std::vector<Region> WholeDisk(const std::vector<DiskPartition>& partitions) {
    std::vector<Region> regions;
    Place({partitions.front()}, 0, regions);
    regions[0].description = "whole disk";
    return regions;
}

// Appends the region's chunks to the data fork and returns its block table.
std::vector<uint8_t> WriteRegion(const Region& region, uint32_t id, Compression compression,
                                 std::vector<uint8_t>& fork) {
    const uint64_t sectors = region.sectors();
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
            Chunk chunk{kZeroFill, sector, count, fork.size(), 0};
            if (!std::all_of(raw, raw + size, [](uint8_t b) { return b == 0; })) {
                const std::vector<uint8_t> packed = CompressChunk(compression, raw, size);
                chunk.type = ChunkType(compression);
                chunk.length = packed.size();
                fork.insert(fork.end(), packed.begin(), packed.end());
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

std::vector<Region> Layout(const std::vector<DiskPartition>& partitions, Scheme scheme) {
    switch (scheme) {
        case Scheme::Mbr:
            return MbrLayout(partitions);
        case Scheme::Gpt:
            return GptLayout(partitions);
        case Scheme::None:
            return WholeDisk(partitions);
        case Scheme::Apple:
            break;
    }
    return AppleLayout(partitions);
}

}  // namespace

std::vector<uint8_t> BuildUdif(const std::vector<DiskPartition>& partitions, Scheme scheme,
                               Compression compression) {
    const std::vector<Region> regions = Layout(partitions, scheme);
    const uint64_t disk_sectors = regions.back().end();

    std::vector<uint8_t> image;
    std::string plist =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
        "\t<key>resource-fork</key>\n\t<dict>\n\t\t<key>blkx</key>\n\t\t<array>\n";
    std::vector<uint8_t> checksums;
    for (size_t i = 0; i < regions.size(); ++i) {
        const int32_t id = static_cast<int32_t>(i) - 1;
        const std::vector<uint8_t> table =
            WriteRegion(regions[i], static_cast<uint32_t>(id), compression, image);
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
