// Making packed resources at build time: a ZIP archive of files, every entry stored,
// compressed as a whole with LZMA1 behind the header of resources/resource_format.h.
#pragma once

#include <cstdint>
#include <ctime>
#include <span>
#include <string>
#include <vector>

namespace buildtools {

struct PackEntry {
    std::string name;
    std::vector<uint8_t> bytes;
    time_t modified = 0;
    bool executable = false;  // kept as Unix rights, so the unpacker can make it runnable
};

// The ZIP archive of the entries in their order, each stored (method 0); empty when it
// cannot be made or there are no entries.
std::vector<uint8_t> StoredZip(const std::vector<PackEntry>& entries);

// The resource holding the bytes: header, LZMA properties and dictionary size, and the
// raw LZMA1 stream without end marker. Empty when the bytes cannot be packed.
std::vector<uint8_t> PackResource(std::span<const uint8_t> unpacked);

}  // namespace buildtools
