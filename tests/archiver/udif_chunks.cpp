#include "tests/archiver/udif_chunks.h"

#include <bzlib.h>
#include <zlib.h>

#include <algorithm>
#include <stdexcept>
#include <unordered_map>

namespace fixtures {
namespace {

std::vector<uint8_t> Zlib(const uint8_t* data, size_t size) {
    uLongf packed = compressBound(size);
    std::vector<uint8_t> out(packed);
    if (compress2(out.data(), &packed, data, size, 9) != Z_OK) throw std::runtime_error("zlib");
    out.resize(packed);
    return out;
}

std::vector<uint8_t> Bzip2(const uint8_t* data, size_t size) {
    unsigned int packed = static_cast<unsigned int>(size + size / 100 + 600);
    std::vector<uint8_t> out(packed);
    std::vector<char> input(data, data + size);
    if (BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(out.data()), &packed, input.data(),
                                 static_cast<unsigned int>(size), 9, 0, 0) != BZ_OK)
        throw std::runtime_error("bzip2");
    out.resize(packed);
    return out;
}

struct Match {
    size_t length = 0, distance = 0;  // distance: how many bytes back it starts
};

// The run at pos that also starts where its first three bytes were seen last, at most
// the given length and distance back; remembers pos for them.
Match FindMatch(const uint8_t* data, size_t size, size_t pos,
                std::unordered_map<uint32_t, size_t>& seen, size_t farthest, size_t longest) {
    Match match;
    if (pos + 3 > size) return match;
    uint32_t key = data[pos] << 16 | data[pos + 1] << 8 | data[pos + 2];
    auto found = seen.find(key);
    if (found != seen.end() && pos - found->second <= farthest) {
        match.distance = pos - found->second;
        while (pos + match.length < size && match.length < longest &&
               data[found->second + match.length] == data[pos + match.length])
            ++match.length;
    }
    seen[key] = pos;
    return match;
}

// ADC: literal runs of 1-128 bytes (0x80 | count - 1), copies of 3-18 bytes from up to 1024
// back in two bytes, of 4-67 bytes from up to 65536 back in three; a distance of 0 means
// the byte before.
std::vector<uint8_t> Adc(const uint8_t* data, size_t size) {
    std::vector<uint8_t> out, literals;
    auto flush = [&] {
        for (size_t at = 0; at < literals.size(); at += 128) {
            size_t count = std::min<size_t>(128, literals.size() - at);
            out.push_back(static_cast<uint8_t>(0x80 | (count - 1)));
            out.insert(out.end(), literals.begin() + at, literals.begin() + at + count);
        }
        literals.clear();
    };
    std::unordered_map<uint32_t, size_t> seen;
    for (size_t pos = 0; pos < size;) {
        Match match = FindMatch(data, size, pos, seen, 65536, 67);
        size_t length = match.length, distance = match.distance - 1;
        bool shortForm = length >= 3 && distance < 1024;
        if (shortForm || length >= 4) {
            flush();
            if (shortForm) {
                length = std::min<size_t>(length, 18);
                out.push_back(static_cast<uint8_t>((length - 3) << 2 | distance >> 8));
            } else {
                out.push_back(static_cast<uint8_t>(0x40 | (length - 4)));
                out.push_back(static_cast<uint8_t>(distance >> 8));
            }
            out.push_back(static_cast<uint8_t>(distance));
            pos += length;
        } else {
            literals.push_back(data[pos++]);
        }
    }
    flush();
    return out;
}

void PutLe32(std::vector<uint8_t>& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// LZVN, the LZFSE block form for small inputs: literal runs (0xE1-0xEF with 1-15 bytes, or
// 0xE0 and a count byte for 16-271), copies of 3-10 bytes from up to 1535 back
// (00MMMDDD DDDDDDDD) or 65535 back (00MMM111 DDDDDDDD DDDDDDDD, low byte first), then the
// end opcode 0x06 and seven zero bytes.
std::vector<uint8_t> Lzvn(const uint8_t* data, size_t size) {
    std::vector<uint8_t> out, literals;
    auto flush = [&] {
        for (size_t at = 0; at < literals.size();) {
            size_t count = std::min<size_t>(271, literals.size() - at);
            if (count < 16) {
                out.push_back(static_cast<uint8_t>(0xE0 | count));
            } else {
                out.push_back(0xE0);
                out.push_back(static_cast<uint8_t>(count - 16));
            }
            out.insert(out.end(), literals.begin() + at, literals.begin() + at + count);
            at += count;
        }
        literals.clear();
    };
    std::unordered_map<uint32_t, size_t> seen;
    for (size_t pos = 0; pos < size;) {
        auto [length, distance] = FindMatch(data, size, pos, seen, 65535, 10);
        if (length < 3) {
            literals.push_back(data[pos++]);
            continue;
        }
        flush();
        const uint8_t lengthBits = static_cast<uint8_t>((length - 3) << 3);
        if (distance < 0x600) {
            out.push_back(static_cast<uint8_t>(lengthBits | distance >> 8));
            out.push_back(static_cast<uint8_t>(distance));
        } else {
            out.push_back(static_cast<uint8_t>(lengthBits | 7));
            out.push_back(static_cast<uint8_t>(distance));
            out.push_back(static_cast<uint8_t>(distance >> 8));
        }
        pos += length;
    }
    flush();
    out.push_back(0x06);
    out.insert(out.end(), 7, 0);
    return out;
}

// One "bvxn" block (magic, raw size, payload size, the LZVN payload), then "bvx$".
std::vector<uint8_t> Lzfse(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> payload = Lzvn(data, size);
    std::vector<uint8_t> out{'b', 'v', 'x', 'n'};
    PutLe32(out, static_cast<uint32_t>(size));
    PutLe32(out, static_cast<uint32_t>(payload.size()));
    out.insert(out.end(), payload.begin(), payload.end());
    out.insert(out.end(), {'b', 'v', 'x', '$'});
    return out;
}

}  // namespace

uint32_t ChunkType(Compression compression) {
    switch (compression) {
        case Compression::None:
            return 1;
        case Compression::Adc:
            return 0x80000004;
        case Compression::Zlib:
            return 0x80000005;
        case Compression::Bzip2:
            return 0x80000006;
        case Compression::Lzfse:
            return 0x80000007;
    }
    return 1;
}

std::vector<uint8_t> CompressChunk(Compression compression, const uint8_t* data, size_t size) {
    switch (compression) {
        case Compression::None:
            return {data, data + size};
        case Compression::Zlib:
            return Zlib(data, size);
        case Compression::Bzip2:
            return Bzip2(data, size);
        case Compression::Adc:
            return Adc(data, size);
        case Compression::Lzfse:
            return Lzfse(data, size);
    }
    return {data, data + size};
}

}  // namespace fixtures
