// Drive letters for volumes the system left without one, and mount points set again so
// that the system reads a volume afresh.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

namespace platform::win32 {

// "\device\harddiskN\partition1": the first partition of disk N as the kernel names it.
std::wstring FirstPartitionPath(int32_t number);

// The first letter from C to Z whose bit is clear in a GetLogicalDrives mask.
std::optional<wchar_t> FirstFreeLetter(DWORD usedLetters);

// Mounts the volume behind a kernel device path at the first free letter for good: "X:",
// or "" when any step fails.
std::string AssignDriveLetter(const std::wstring& devicePath);

// Takes the volume's mount point away and sets it again. False only when it was taken
// away and could not be set again.
bool RemountVolume(const std::string& letter);

}  // namespace platform::win32
