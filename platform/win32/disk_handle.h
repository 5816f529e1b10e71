// Raw access to an opened disk, volume or file.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/disks.h"

namespace platform::win32 {

// Opens an existing device (or file) for reading, and writing when asked; nullptr when it
// cannot be opened. No lock is taken.
std::unique_ptr<DiskHandle> OpenDiskHandle(const std::wstring& path, bool write);

// ReadFile and WriteFile move at most 4 GiB - 1 at once: larger requests go in pieces of
// at most `largest` bytes. `move` transfers `bytes` at `done` bytes into the request and
// returns what it moved; a short piece ends the transfer. The total moved.
int64_t TransferInPieces(int64_t bytes, DWORD largest,
                         const std::function<DWORD(int64_t done, DWORD bytes)>& move);

}  // namespace platform::win32
