#include "platform/paths.h"

#include <windows.h>

#include <filesystem>

#include "platform/win32/wide.h"

namespace platform {
namespace {

// Beyond this not even a \\?\ path fits.
constexpr size_t kLongestPath = 32768;

DWORD Attributes(const std::string& path) {
    if (path.empty()) return INVALID_FILE_ATTRIBUTES;
    return GetFileAttributesW(Widen(path).c_str());
}

}  // namespace

const std::string& PathSeparator() {
    static const std::string separator = "\\";
    return separator;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == '\\' || folder.back() == '/') return folder + name;
    return folder + "\\" + name;
}

// The result is cut short, not failed, when the buffer is too small: grow until it fits.
std::string ExecutablePath() {
    std::wstring buffer(MAX_PATH, L'\0');
    while (buffer.size() <= kLongestPath) {
        DWORD length = GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size()) return Narrow({buffer.data(), length});
        buffer.resize(buffer.size() * 2);
    }
    return {};
}

bool FolderExists(const std::string& path) {
    DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileExists(const std::string& path) {
    DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int64_t FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return -1;
    return int64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

std::string SystemDirectory() {
    wchar_t buffer[MAX_PATH];
    UINT length = GetSystemDirectoryW(buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    return Narrow({buffer, length});
}

// The program keeps its files beside itself on Windows, as users of the .exe expect.
UserFolders InstalledUserFolders(const std::string&, const std::string&) { return {}; }

bool MakeUserFolder(const std::string& path) {
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(Widen(path)), error);
    return FolderExists(path);
}

void GiveToStartingUser(const std::string&) {}

void GiveNewFileToFolderOwner(const std::string&) {}

}  // namespace platform
