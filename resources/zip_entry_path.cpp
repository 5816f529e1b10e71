#include "resources/zip_entry_path.h"

namespace resources {
namespace {

// Archives made on Windows may separate with backslashes, which Windows would follow: on
// every platform they count as separators, so a name means the same place everywhere.
bool IsSeparator(char c) { return c == '/' || c == '\\'; }

}  // namespace

std::optional<std::string> EntryPath(const std::string& name) {
    if (name.empty() || IsSeparator(name[0])) return std::nullopt;
    std::string path, part;
    for (size_t at = 0; at <= name.size(); ++at) {
        if (at < name.size() && !IsSeparator(name[at])) {
            part += name[at];
            continue;
        }
        // A NUL would end the name early where the system reads it, so ".\0x" could name
        // the folder itself and "..\0x" its parent.
        if (part == ".." || part.find_first_of(std::string(":\0", 2)) != std::string::npos)
            return std::nullopt;
        if (!part.empty() && part != ".") path += (path.empty() ? "" : "/") + part;
        part.clear();
    }
    if (path.empty()) return std::nullopt;
    return path;
}

bool IsFolderEntry(const std::string& name) { return !name.empty() && IsSeparator(name.back()); }

}  // namespace resources
