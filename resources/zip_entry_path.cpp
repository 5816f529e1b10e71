#include "resources/zip_entry_path.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace resources {
namespace {

// Archives made on Windows may separate with backslashes, which Windows would follow: on
// every platform they count as separators, so a name means the same place everywhere.
bool IsSeparator(char c) { return c == '/' || c == '\\'; }

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::toupper(c)); });
    return text;
}

// Windows opens the device for its name whatever follows the first dot, and spaces
// before that dot do not count. Windows reserves COM0 and LPT0 too, and the superscript
// digits count as digits there.
bool IsDeviceName(const std::string& name) {
    std::string stem = Upper(name.substr(0, name.find('.')));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    static const std::array<const char*, 6> kDevices{"CON", "PRN",    "AUX",
                                                     "NUL", "CONIN$", "CONOUT$"};
    if (std::find(kDevices.begin(), kDevices.end(), stem) != kDevices.end()) return true;
    if (!stem.starts_with("COM") && !stem.starts_with("LPT")) return false;
    std::string number = stem.substr(3);
    return (number.size() == 1 && number[0] >= '0' && number[0] <= '9') || number == "\xC2\xB9" ||
           number == "\xC2\xB2" || number == "\xC2\xB3";
}

}  // namespace

bool IsPortableFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.back() != '.' &&
           name.back() != ' ' &&
           std::none_of(name.begin(), name.end(),
                        [](char c) { return IsSeparator(c) || c == ':' || c == '\0'; }) &&
           !IsDeviceName(name);
}

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
        if (!part.empty() && part != ".") {
            if (!IsPortableFileName(part)) return std::nullopt;
            path += (path.empty() ? "" : "/") + part;
        }
        part.clear();
    }
    if (path.empty()) return std::nullopt;
    return path;
}

bool IsFolderEntry(const std::string& name) { return !name.empty() && IsSeparator(name.back()); }

}  // namespace resources
