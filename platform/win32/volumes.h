// Mounted drives: their roots, the disk and partition behind a letter, label and file
// system, and the letter rules of the guards.
#pragma once

#include <string>
#include <vector>

#include "platform/disks.h"

namespace platform::win32 {

std::vector<std::string> LogicalDriveRoots();
std::string LetterOfRoot(const std::string& root);
// The letter with a backslash appended unless it ends with one: "E:" gives "E:\".
std::wstring RootOf(const std::string& letter);
bool LocateVolume(const std::string& letter, VolumeLocation& location);
std::string VolumeLabel(const std::string& letter);
std::string FileSystemName(const std::string& letter);

std::string VolumeName(const std::string& letter);
bool IsSystemVolume(const std::string& volumeName);
// "\\.\E:" for a letter VolumeName accepts, else "".
std::wstring VolumePath(const std::string& letter);

}  // namespace platform::win32
