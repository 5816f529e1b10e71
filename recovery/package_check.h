// A downloaded package against the size and SHA-1 digest the catalog gave for it.
#pragma once

#include <string>

#include "core/recovery_entry.h"

namespace recovery {

// True when the file has the entry's Size and Digest (letter case aside); either one that
// is empty is not checked (an entry typed into the settings file by hand has neither).
// Otherwise false with a status text.
bool PackageMatchesCatalog(const std::string& path, const core::RecoveryEntry& entry);

// The file's SHA-1 in lower-case hexadecimal; "" when it could not be read.
std::string FileSha1(const std::string& path);

}  // namespace recovery
