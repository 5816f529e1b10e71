// Reads back the version resource of executables as Windows' file properties show it:
//   version_reader FILE...
// prints for each file "FILE<TAB>fixed FILEVERSION" and "FILE<TAB>NAME=VALUE" for the
// strings of the US English block. Exit status 1 when a file has no version resource.
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/win32/wide.h"

namespace {

const wchar_t* const kStringNames[] = {L"ProductName", L"ProductVersion", L"FileVersion",
                                       L"FileDescription", L"OriginalFilename"};

bool PrintVersion(const std::wstring& file) {
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(file.c_str(), &handle);
    if (size == 0) return false;
    std::string name = platform::Narrow(file);
    std::string block(size, '\0');
    if (!GetFileVersionInfoW(file.c_str(), 0, size, block.data())) return false;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length))
        return false;
    std::printf("%s\tfixed %u.%u.%u.%u\n", name.c_str(), unsigned(HIWORD(fixed->dwFileVersionMS)),
                unsigned(LOWORD(fixed->dwFileVersionMS)), unsigned(HIWORD(fixed->dwFileVersionLS)),
                unsigned(LOWORD(fixed->dwFileVersionLS)));
    for (const wchar_t* key : kStringNames) {
        std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + key;
        wchar_t* value = nullptr;
        if (!VerQueryValueW(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length))
            continue;
        std::printf("%s\t%s=%s\n", name.c_str(), platform::Narrow(key).c_str(),
                    platform::Narrow(value).c_str());
    }
    return true;
}

}  // namespace

int main() {
    int count = 0;
    LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
    int status = count > 1 ? 0 : 2;
    for (int i = 1; i < count; ++i)
        if (!PrintVersion(words[i])) status = 1;
    return status;
}
