// Owners of libzip's handles. An archive that is dropped is discarded: the program only
// reads archives, and the packer keeps the ones it closes successfully itself.
#pragma once

#include <zip.h>

#include <memory>

namespace resources {

struct ZipArchiveDiscarder {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
using OwnedArchive = std::unique_ptr<zip_t, ZipArchiveDiscarder>;

struct ZipEntryCloser {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};
using OwnedEntry = std::unique_ptr<zip_file_t, ZipEntryCloser>;

}  // namespace resources
