// The parts of a path. Both '/' and '\' separate: paths here come from URLs, archives,
// the settings file and either system's requesters.
#pragma once

#include <string>

namespace platform {

// The folder with its closing separator; "" when the path has no separator.
inline std::string FolderPart(const std::string& path) {
    size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? "" : path.substr(0, cut + 1);
}

// What follows the last separator: the whole path when there is none.
inline std::string FileNamePart(const std::string& path) {
    return path.substr(FolderPart(path).size());
}

}  // namespace platform
