// Where a ZIP entry may land below the destination folder.
#pragma once

#include <optional>
#include <string>

namespace resources {

// The entry's path below the destination, its parts joined by "/" ("/" and "\" both
// separate parts; "." parts drop out). nullopt for a name that must not be written:
// absolute, with a drive letter or stream name (":"), climbing with "..", holding a NUL,
// or naming nothing.
std::optional<std::string> EntryPath(const std::string& name);

// The entry names a folder: it ends with a separator.
bool IsFolderEntry(const std::string& name);

}  // namespace resources
