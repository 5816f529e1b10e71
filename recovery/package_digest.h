// The catalog's SHA-1 digest of a package against the downloaded file.
#pragma once

#include <string>

namespace recovery {

// True when the digest is empty (entries loaded from the settings carry none) or matches
// the file's SHA-1, letter case aside; otherwise false with a status text.
bool PackageMatchesDigest(const std::string& path, const std::string& digest);

// The file's SHA-1 in lower-case hexadecimal; "" when it could not be read.
std::string FileSha1(const std::string& path);

}  // namespace recovery
