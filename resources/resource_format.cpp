#include "resources/resource_format.h"

#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <climits>

#include "platform/byte_order.h"
#include "resources/lzma_stream.h"

namespace resources {
namespace {

constexpr uint8_t kLargestProperties = 9 * 5 * 5 - 1;

}  // namespace

std::optional<ResourceHeader> ReadResourceHeader(std::span<const uint8_t> resource) {
    if (resource.size() < kResourceHeaderBytes) return std::nullopt;
    using platform::ReadLe32;
    return ResourceHeader{ReadLe32(&resource[0]), ReadLe32(&resource[4]), ReadLe32(&resource[8])};
}

uint32_t Crc32(std::span<const uint8_t> bytes) {
    uLong crc = crc32(0, nullptr, 0);
    for (size_t done = 0; done < bytes.size();) {
        uInt piece = uInt(std::min<size_t>(bytes.size() - done, UINT_MAX));
        crc = crc32(crc, bytes.data() + done, piece);
        done += piece;
    }
    return uint32_t(crc);
}

size_t DecodeLzma(std::span<const uint8_t> lzma, std::span<uint8_t> out) {
    if (lzma.size() < kLzmaHeaderBytes || lzma[0] > kLargestProperties) return 0;
    lzma_options_lzma options{};
    options.lc = lzma[0] % 9;
    options.lp = lzma[0] / 9 % 5;
    options.pb = lzma[0] / 45;
    // No match reaches back further than the output is long, so a smaller window will do.
    uint32_t window = uint32_t(std::min<uint64_t>(out.size(), UINT32_MAX));
    options.dict_size =
        std::max(std::min(platform::ReadLe32(&lzma[1]), window), uint32_t(LZMA_DICT_SIZE_MIN));
    // The size ends the stream; an end marker right there is accepted as well.
    options.ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
    lzma_set_ext_size(options, out.size());
    lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};

    LzmaStream stream;
    if (lzma_raw_decoder(stream.get(), filters) != LZMA_OK) return 0;
    stream.get()->next_in = lzma.data() + kLzmaHeaderBytes;
    stream.get()->avail_in = lzma.size() - kLzmaHeaderBytes;
    stream.get()->next_out = out.data();
    stream.get()->avail_out = out.size();
    lzma_ret result = LZMA_OK;
    while (result == LZMA_OK && stream.get()->avail_out > 0) {
        size_t before = stream.get()->avail_out + stream.get()->avail_in;
        result = lzma_code(stream.get(), LZMA_FINISH);
        if (stream.get()->avail_out + stream.get()->avail_in == before) break;
    }
    return size_t(stream.get()->total_out);
}

}  // namespace resources
