// The layout of a packed resource: a ZIP archive (entries stored, method 0) compressed as
// a whole with LZMA1 behind a small header, all integers little-endian.
//   0  u32  unpacked size (the ZIP's size)
//   4  u32  packed size, the resource's length less 12 (not read back)
//   8  u32  CRC-32 of the unpacked bytes (zlib's)
//  12  u8   LZMA properties 0x5D: lc 3, lp 0, pb 2
//  13  u32  LZMA dictionary size, 16 MiB
//  17  ...  raw LZMA1 range-coder stream with no size field and no end marker
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace resources {

constexpr size_t kResourceHeaderBytes = 12;
constexpr size_t kLzmaHeaderBytes = 5;
constexpr uint8_t kLzmaProperties = 0x5D;
constexpr uint32_t kLzmaDictionaryBytes = uint32_t(1) << 24;

struct ResourceHeader {
    uint32_t unpackedSize = 0;
    uint32_t packedSize = 0;
    uint32_t crc = 0;
};

// At best an LZMA1 stream spends about 0.3 bits on a 273-byte repeat of the last match,
// so no stream unpacks to more than about 7,100 bytes for each of its own; a header that
// claims more than a stream of that length can hold is damaged.
constexpr uint64_t kLzmaMostBytesPerByte = 8192;
inline uint64_t MostUnpackedBytes(size_t lzmaBytes) {
    return uint64_t(lzmaBytes) * kLzmaMostBytesPerByte;
}

// nullopt when the resource is shorter than its header.
std::optional<ResourceHeader> ReadResourceHeader(std::span<const uint8_t> resource);

uint32_t Crc32(std::span<const uint8_t> bytes);

// Decodes the LZMA part (properties, dictionary size, stream) into out until out is full;
// how many bytes were produced, fewer when the stream is short or damaged.
size_t DecodeLzma(std::span<const uint8_t> lzma, std::span<uint8_t> out);

}  // namespace resources
