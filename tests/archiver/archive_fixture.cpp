// Fixture maker for the archiver tests, for what no Debian tool writes:
//   archive_fixture dmg OUT [--layout=L] [--format=F] TYPE=IMAGE...
//                                          a UDIF disk image with one partition per image
//                                          (TYPE: Apple_HFS, Apple_APFS, DOS_FAT_32, ...);
//                                          L: SPUD (Apple map, the default), MBRSPUD,
//                                          GPTSPUD or NONE; F: UDZO (zlib, the default),
//                                          UDRO, UDBZ, UDCO or ULFO, as hdiutil names them
//   archive_fixture hfs ISO OUT            the Apple_HFS partition of an ISO hybrid whose
//                                          Apple partition map xorriso -hfsplus wrote
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "tests/archiver/udif_writer.h"

namespace {

bool ReadFile(const std::string& path, std::vector<uint8_t>& data) {
    std::ifstream in(path, std::ios::binary);
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad() && in.is_open();
}

bool WriteFile(const std::string& path, const uint8_t* data, size_t size) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return out.good();
}

uint64_t Be(const std::vector<uint8_t>& data, size_t at, int bytes) {
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value = value << 8 | data[at + i];
    return value;
}

int MakeDmg(int argc, char** argv) {
    static const std::map<std::string, fixtures::Scheme> kLayouts{
        {"SPUD", fixtures::Scheme::Apple},
        {"MBRSPUD", fixtures::Scheme::Mbr},
        {"GPTSPUD", fixtures::Scheme::Gpt},
        {"NONE", fixtures::Scheme::None}};
    static const std::map<std::string, fixtures::Compression> kFormats{
        {"UDRO", fixtures::Compression::None},
        {"UDZO", fixtures::Compression::Zlib},
        {"UDBZ", fixtures::Compression::Bzip2},
        {"UDCO", fixtures::Compression::Adc},
        {"ULFO", fixtures::Compression::Lzfse}};
    fixtures::Scheme scheme = fixtures::Scheme::Apple;
    fixtures::Compression compression = fixtures::Compression::Zlib;
    std::vector<fixtures::DiskPartition> partitions;
    for (int i = 3; i < argc; ++i) {
        const std::string arg = argv[i];
        const size_t equals = arg.find('=');
        const std::string key = arg.substr(0, equals), value = arg.substr(equals + 1);
        if (key == "--layout" && kLayouts.count(value)) {
            scheme = kLayouts.at(value);
            continue;
        }
        if (key == "--format" && kFormats.count(value)) {
            compression = kFormats.at(value);
            continue;
        }
        fixtures::DiskPartition partition;
        if (equals == std::string::npos || key.starts_with("--") ||
            !ReadFile(value, partition.data)) {
            std::fprintf(stderr, "cannot use %s\n", argv[i]);
            return 1;
        }
        partition.type = key;
        partitions.push_back(std::move(partition));
    }
    if (partitions.empty() || (scheme == fixtures::Scheme::None && partitions.size() != 1)) {
        std::fprintf(stderr, "a disk image needs its partitions (NONE: exactly one)\n");
        return 1;
    }
    const std::vector<uint8_t> image = fixtures::BuildUdif(partitions, scheme, compression);
    return WriteFile(argv[2], image.data(), image.size()) ? 0 : 1;
}

int CutHfs(const std::string& iso_path, const std::string& out) {
    std::vector<uint8_t> iso;
    if (!ReadFile(iso_path, iso) || iso.size() < 1024 || Be(iso, 0, 2) != 0x4552) {
        std::fprintf(stderr, "%s has no driver descriptor map\n", iso_path.c_str());
        return 1;
    }
    const uint64_t block = Be(iso, 2, 2);
    const uint64_t entries = block >= 512 && 2 * block <= iso.size() ? Be(iso, block + 4, 4) : 0;
    for (uint64_t i = 1; i <= entries && (i + 1) * block <= iso.size(); ++i) {
        const size_t at = i * block;
        if (Be(iso, at, 2) != 0x504D) break;
        const char* type_field = reinterpret_cast<const char*>(&iso[at + 48]);
        const std::string type(type_field, strnlen(type_field, 32));
        const uint64_t start = Be(iso, at + 8, 4) * block;
        const uint64_t size = Be(iso, at + 12, 4) * block;
        if (type == "Apple_HFS" && start + size <= iso.size()) {
            return WriteFile(out, iso.data() + start, size) ? 0 : 1;
        }
    }
    std::fprintf(stderr, "%s has no Apple_HFS partition\n", iso_path.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "dmg" && argc >= 4) return MakeDmg(argc, argv);
    if (command == "hfs" && argc == 4) return CutHfs(argv[2], argv[3]);
    std::fprintf(stderr,
                 "usage: archive_fixture dmg OUT [--layout=L] [--format=F] TYPE=IMAGE...\n"
                 "       archive_fixture hfs ISO OUT\n");
    return 2;
}
