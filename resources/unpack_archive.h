// Extracting a ZIP archive, a packed resource or a file, into a folder.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace resources {

// Extracts every entry below the destination (a separator is added where missing). The
// archive is the resource when fromResource is set (decoded into a TEMP file first),
// else the ZIP file at archivePath. Stops early when CancelFlag is raised. showProgress:
// "Extracted (i/n) files to " + destination on the status line. deleteArchive: the
// archive file goes at the end. True only when every entry got to the destination: a
// cancel, an entry that could not be read or written (a full or read-only volume) and a
// failed batch of a batched tree give false. Entries that would land outside the
// destination are passed over.
bool UnpackArchive(std::span<const uint8_t> resource, const std::string& destination,
                   bool fromResource, const std::string& archivePath, bool showProgress,
                   bool deleteArchive);

// Creates the folder and every missing parent; failures are ignored.
void CreatePath(const std::string& path);

}  // namespace resources
