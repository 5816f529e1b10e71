// Disk and file structures store their numbers little-endian whatever the host's order.
#pragma once

#include <cstdint>

namespace platform {

inline uint16_t ReadLe16(const uint8_t* at) { return uint16_t(at[0] | at[1] << 8); }

inline uint32_t ReadLe32(const uint8_t* at) {
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

inline uint64_t ReadLe64(const uint8_t* at) {
    return ReadLe32(at) | uint64_t(ReadLe32(at + 4)) << 32;
}

inline void WriteLe16(uint8_t* at, uint16_t value) {
    at[0] = uint8_t(value);
    at[1] = uint8_t(value >> 8);
}

inline void WriteLe32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = uint8_t(value >> (8 * i));
}

}  // namespace platform
