#include "tests/zip_fixture.h"

#include <zip.h>

namespace test {

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
