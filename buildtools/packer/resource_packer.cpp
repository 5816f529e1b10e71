#include "buildtools/packer/resource_packer.h"

#include <lzma.h>
#include <zip.h>

#include <cstdio>
#include <memory>

#include "resources/lzma_stream.h"
#include "resources/resource_format.h"
#include "resources/zip_handles.h"

namespace buildtools {
namespace {

constexpr uint32_t kUnixFile = 0100000;
constexpr size_t kOutputStep = size_t(1) << 20;

struct SourceFreer {
    void operator()(zip_source_t* source) const { zip_source_free(source); }
};
using OwnedSource = std::unique_ptr<zip_source_t, SourceFreer>;

bool AddStored(zip_t* archive, const PackEntry& entry) {
    zip_source_t* data = zip_source_buffer(archive, entry.bytes.data(), entry.bytes.size(), 0);
    if (!data) return false;
    zip_int64_t index = zip_file_add(archive, entry.name.c_str(), data, ZIP_FL_ENC_UTF_8);
    if (index < 0) {
        zip_source_free(data);
        return false;
    }
    zip_uint64_t at = zip_uint64_t(index);
    uint32_t rights = kUnixFile | (entry.executable ? 0755 : 0644);
    return zip_set_file_compression(archive, at, ZIP_CM_STORE, 0) == 0 &&
           zip_file_set_mtime(archive, at, entry.modified, 0) == 0 &&
           zip_file_set_external_attributes(archive, at, 0, ZIP_OPSYS_UNIX, rights << 16) == 0;
}

std::vector<uint8_t> ReadAll(zip_source_t* source) {
    zip_stat_t stat;
    if (zip_source_stat(source, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE)) return {};
    std::vector<uint8_t> bytes(stat.size);
    if (zip_source_open(source) != 0) return {};
    zip_int64_t got = zip_source_read(source, bytes.data(), bytes.size());
    zip_source_close(source);
    return got == zip_int64_t(bytes.size()) ? bytes : std::vector<uint8_t>{};
}

void PutLittle32(std::vector<uint8_t>& out, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) out[at + i] = uint8_t(value >> (8 * i));
}

// Appends the raw LZMA1 stream of the bytes to out.
bool Encode(std::span<const uint8_t> unpacked, std::vector<uint8_t>& out) {
    lzma_options_lzma options;
    if (lzma_lzma_preset(&options, 9)) return false;
    options.lc = 3;
    options.lp = 0;
    options.pb = 2;
    options.dict_size = resources::kLzmaDictionaryBytes;
    options.ext_flags = 0;  // no end marker: the header's size ends the stream
    lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    resources::LzmaStream stream;
    if (lzma_raw_encoder(stream.get(), filters) != LZMA_OK) return false;
    stream.get()->next_in = unpacked.data();
    stream.get()->avail_in = unpacked.size();
    for (lzma_ret result = LZMA_OK; result == LZMA_OK;) {
        size_t start = out.size();
        out.resize(start + kOutputStep);
        stream.get()->next_out = out.data() + start;
        stream.get()->avail_out = kOutputStep;
        result = lzma_code(stream.get(), LZMA_FINISH);
        out.resize(out.size() - stream.get()->avail_out);
        if (result != LZMA_OK && result != LZMA_STREAM_END) return false;
    }
    return true;
}

}  // namespace

std::vector<uint8_t> StoredZip(const std::vector<PackEntry>& entries) {
    zip_error_t error;
    zip_error_init(&error);
    OwnedSource buffer(zip_source_buffer_create(nullptr, 0, 0, &error));
    zip_error_fini(&error);
    if (!buffer || entries.empty()) return {};
    zip_source_keep(buffer.get());  // the archive's close must leave the bytes to read
    resources::OwnedArchive archive(zip_open_from_source(buffer.get(), ZIP_TRUNCATE, nullptr));
    if (!archive) {
        zip_source_free(buffer.get());  // drops the reference the archive did not take
        return {};
    }
    for (const PackEntry& entry : entries)
        if (!AddStored(archive.get(), entry)) return {};
    if (zip_close(archive.get()) != 0) return {};
    archive.release();
    return ReadAll(buffer.get());
}

std::vector<uint8_t> PackResource(std::span<const uint8_t> unpacked) {
    if (unpacked.empty() || unpacked.size() > UINT32_MAX) return {};
    std::vector<uint8_t> out(resources::kResourceHeaderBytes + resources::kLzmaHeaderBytes);
    out[resources::kResourceHeaderBytes] = resources::kLzmaProperties;
    PutLittle32(out, resources::kResourceHeaderBytes + 1, resources::kLzmaDictionaryBytes);
    if (!Encode(unpacked, out)) return {};
    PutLittle32(out, 0, uint32_t(unpacked.size()));
    PutLittle32(out, 4, uint32_t(out.size() - resources::kResourceHeaderBytes));
    PutLittle32(out, 8, resources::Crc32(unpacked));
    return out;
}

}  // namespace buildtools
