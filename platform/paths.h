// File-system paths and the program's own location.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The platform's path separator as text ("\\" on Windows, "/" elsewhere).
const std::string& PathSeparator();

// Joins a folder and a name with exactly one separator between them.
std::string JoinPath(const std::string& folder, const std::string& name);

// Full path of the running executable, empty when it cannot be found.
std::string ExecutablePath();

bool FolderExists(const std::string& path);
bool FileExists(const std::string& path);
// Size in bytes of a regular file, -1 when there is none.
int64_t FileSize(const std::string& path);

// The folder the system lives in (Windows: the system directory; elsewhere "/").
std::string SystemDirectory();

}  // namespace platform
