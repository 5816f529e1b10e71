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

// Where an installed copy keeps its files for the user who started it (under pkexec, the
// user who asked for it): the configuration and data folders of the program, each ending
// with the separator. Both are empty for a portable copy, which keeps everything beside
// itself: its settings file is already there, or the folder is its user's to write and
// not one of the system's program folders. Windows copies are always portable.
struct UserFolders {
    std::string config;
    std::string data;
};
UserFolders InstalledUserFolders(const std::string& programFolder,
                                 const std::string& settingsFileName);

// Makes a folder and those missing above it; the ones it makes belong to the starting
// user. False when the folder is not there afterwards.
bool MakeUserFolder(const std::string& path);

// A file the program made in the starting user's folders becomes that user's (when root
// runs for another user through pkexec; otherwise it is the user's already).
void GiveToStartingUser(const std::string& path);

// A file something else made (the archiver run as root) becomes the starting user's when
// its folder is that user's; elsewhere it keeps its owner.
void GiveNewFileToFolderOwner(const std::string& path);

}  // namespace platform
