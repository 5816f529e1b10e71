// The chunk forms of UDIF images as hdiutil's formats write them: UDRO (raw), UDZO (zlib),
// UDBZ (bzip2), UDCO (ADC) and ULFO (LZFSE).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace fixtures {

enum class Compression { None, Zlib, Bzip2, Adc, Lzfse };

// The chunk type of the block tables for the form.
uint32_t ChunkType(Compression compression);

// The chunk's bytes in the form. LZFSE chunks are streams of one LZVN block, the form the
// reference encoder gives small inputs (Debian has no LZFSE encoder for the FSE form).
std::vector<uint8_t> CompressChunk(Compression compression, const uint8_t* data, size_t size);

}  // namespace fixtures
