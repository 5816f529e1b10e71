#include "platform/drivers.h"

#include <windows.h>

#include "platform/win32/wide.h"

namespace platform {

std::string DriversFolder() {
    wchar_t folder[MAX_PATH];
    UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    return Narrow(std::wstring(folder, length)) + "\\drivers\\";
}

// Windows reads HFS+ only through the Boot Camp drivers.
bool SystemReadsHfs() { return false; }

// IsWow64Process is false for a 64-bit process, which runs on 64-bit Windows only.
bool Is64BitSystem() {
    if (sizeof(void*) == 8) return true;
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

}  // namespace platform
