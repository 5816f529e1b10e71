#include "tests/zip_fixture.h"

#include <zip.h>
#include <zlib.h>

namespace test {
namespace {

// Little-endian; bytes past the eighth are zeros.
void Put(std::string& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += char(i < 8 ? value >> (8 * i) & 0xFF : 0);
}

}  // namespace

std::string ZipDeclaring(const std::string& name, const std::string& bytes, uint64_t declaredSize) {
    const uint32_t crc =
        uint32_t(crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), uInt(bytes.size())));
    std::string sizes;  // the ZIP64 extra field: uncompressed, then compressed size
    Put(sizes, 1, 2);
    Put(sizes, 16, 2);
    Put(sizes, declaredSize, 8);
    Put(sizes, bytes.size(), 8);
    auto common = [&](std::string& out) {  // version needed to flags through name length
        Put(out, 45, 2);
        Put(out, 0, 2);
        Put(out, 0, 2);  // stored
        Put(out, 0, 2);
        Put(out, 0x21, 2);  // 1 January 1980
        Put(out, crc, 4);
        Put(out, 0xFFFFFFFF, 4);  // both sizes in the extra field
        Put(out, 0xFFFFFFFF, 4);
        Put(out, name.size(), 2);
        Put(out, sizes.size(), 2);
    };
    std::string zip;
    Put(zip, 0x04034b50, 4);
    common(zip);
    zip += name + sizes + bytes;
    std::string central;
    Put(central, 0x02014b50, 4);
    Put(central, 45, 2);  // made by
    common(central);
    Put(central, 0, 2 + 2 + 2 + 4 + 4);  // comment, disk, attributes; offset 0
    central += name + sizes;
    uint64_t centralOffset = zip.size();
    zip += central;
    Put(zip, 0x06054b50, 4);
    Put(zip, 0, 4);
    Put(zip, 1, 2);
    Put(zip, 1, 2);
    Put(zip, central.size(), 4);
    Put(zip, centralOffset, 4);
    Put(zip, 0, 2);
    return zip;
}

bool WriteZip(const std::string& path, const std::vector<ZipItem>& items) {
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, nullptr);
    if (!archive) return false;
    bool ok = true;
    for (const ZipItem& item : items) {
        if (item.folder) {
            ok = zip_dir_add(archive, item.name.c_str(), ZIP_FL_ENC_UTF_8) >= 0 && ok;
            continue;
        }
        zip_source_t* data = zip_source_buffer(archive, item.bytes.data(), item.bytes.size(), 0);
        zip_int64_t index =
            data ? zip_file_add(archive, item.name.c_str(), data, ZIP_FL_ENC_UTF_8) : -1;
        if (index < 0) zip_source_free(data);
        ok = index >= 0 && ok;
    }
    if (zip_close(archive) == 0) return ok;
    zip_discard(archive);
    return false;
}

ZipListing ListZip(const std::string& bytes) {
    ZipListing listing;
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
    zip_t* archive = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
    zip_error_fini(&error);
    if (!archive) {
        zip_source_free(source);
        return listing;
    }
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
        zip_stat_t stat;
        if (zip_stat_index(archive, zip_uint64_t(i), 0, &stat) != 0) continue;
        listing.names.emplace_back(stat.name);
        listing.methods.push_back(stat.comp_method);
    }
    zip_discard(archive);
    return listing;
}

}  // namespace test
