// Files and folders by path, beyond the questions paths.h answers: the temporary path,
// listings, creation and removal, the hidden attribute and writing a new file whole.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace platform {

// The folder for the program's temporary folders, ending with the separator; "" when there
// is none, and then what stood in the way in refusal. Windows: the user's temporary folder
// (its long form). Linux: a 0700 folder of the user's own, "stickforge-" + user id, in
// $TMPDIR, else (root) /run or $XDG_RUNTIME_DIR, else /tmp or /var/tmp; the first of
// them where programs may run, else the first that is private.
std::string TemporaryPath(std::string* refusal = nullptr);

struct FolderEntry {
    std::string name;
    bool folder = false;  // a folder of its own; a link to one counts as no folder
    bool mine = true;     // Linux: owned by the effective user
};
// The entries other than "." and ".."; empty when the folder cannot be read.
std::vector<FolderEntry> ListFolder(const std::string& folder);

// Creates one folder, private to the user where the system has such rights; false when it
// could not be made, also when something of that name exists already.
bool CreateFolder(const std::string& path);

// Removes a folder and everything in it, read-only and hidden entries included. Links are
// removed, never followed, so nothing outside the folder is touched. Goes on past an entry
// it cannot remove; false when anything stayed.
bool RemoveTree(const std::string& path);

// Removes a file, its read-only attribute cleared first.
bool RemoveFile(const std::string& path);

// Renames a file within one volume, replacing a file of the new name.
bool MoveReplacing(const std::string& from, const std::string& to);

// Gives a file or folder the hidden attribute where its file system has one (Windows; a
// FAT volume mounted on Linux); false where it has none.
bool SetHidden(const std::string& path);

// Creates a file that must not exist yet and writes the bytes: how many were written, or
// -1 when the file could not be created.
int64_t WriteNewFile(const std::string& path, std::span<const uint8_t> bytes);

// Copies a file over one of that name and flushes it: 0, or the system's error code (the
// one ShowSystemError puts into words).
uint32_t CopyFileReplacing(const std::string& from, const std::string& to);

}  // namespace platform
