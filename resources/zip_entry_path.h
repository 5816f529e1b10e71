// Where a ZIP entry may land below the destination folder, and which names may be files.
#pragma once

#include <optional>
#include <string>

namespace resources {

// The entry's path below the destination, its parts joined by "/" ("/" and "\" both
// separate parts; "." parts drop out). nullopt for a name that must not be written:
// absolute, climbing with "..", naming nothing, or with a part that is no portable file
// name.
std::optional<std::string> EntryPath(const std::string& name);

// The entry names a folder: it ends with a separator.
bool IsFolderEntry(const std::string& name);

// A name that means one and the same file on every platform: not empty, "." or "..";
// no separator, ":" (a drive or a stream) or NUL; not one of Windows' device names (CON,
// PRN, AUX, NUL, COM0-9, LPT0-9, CONIN$, CONOUT$), with or without an extension; not
// ending with a dot or a space, which Windows drops.
bool IsPortableFileName(const std::string& name);

}  // namespace resources
