#include "platform/files.h"

#include <windows.h>

#include <algorithm>
#include <memory>

#include "platform/win32/owned_handle.h"
#include "platform/win32/wide.h"

namespace platform {
namespace {

constexpr DWORD kLargestWrite = 1 << 30;

struct FindCloser {
    void operator()(HANDLE handle) const { FindClose(handle); }
};
using FindHandle = std::unique_ptr<void, FindCloser>;

bool IsFolder(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::wstring WithBackslash(std::wstring path) {
    if (!path.empty() && path.back() != L'\\' && path.back() != L'/') path += L'\\';
    return path;
}

// Calls visit for every entry of the folder other than "." and "..".
template <typename Visit>
bool EachEntry(const std::wstring& folder, Visit visit) {
    WIN32_FIND_DATAW found;
    FindHandle search(FindFirstFileExW((WithBackslash(folder) + L"*").c_str(), FindExInfoBasic,
                                       &found, FindExSearchNameMatch, nullptr, 0));
    if (search.get() == INVALID_HANDLE_VALUE) {
        search.release();
        return false;
    }
    do {
        std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") visit(name, found.dwFileAttributes);
    } while (FindNextFileW(search.get(), &found));
    return true;
}

// A link to a folder (junction or symbolic link) is removed as the link itself.
bool RemoveWide(const std::wstring& path, DWORD attributes) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return DeleteFileW(path.c_str()) != FALSE;
    bool removed = true;
    if (IsFolder(attributes))
        EachEntry(path, [&](const std::wstring& name, DWORD entryAttributes) {
            removed = RemoveWide(WithBackslash(path) + name, entryAttributes) && removed;
        });
    return RemoveDirectoryW(path.c_str()) != FALSE && removed;
}

}  // namespace

std::string TemporaryPath(std::string* refusal) {
    wchar_t shortPath[MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH + 1, shortPath);
    if (length == 0 || length > MAX_PATH) {
        if (refusal) *refusal = "the user has no temporary folder";
        return {};
    }
    std::wstring longPath(32768, L'\0');
    DWORD longLength = GetLongPathNameW(shortPath, longPath.data(), DWORD(longPath.size()));
    std::wstring path = longLength == 0 || longLength >= longPath.size()
                            ? std::wstring(shortPath, length)
                            : longPath.substr(0, longLength);
    return Narrow(WithBackslash(path));
}

std::vector<FolderEntry> ListFolder(const std::string& folder) {
    std::vector<FolderEntry> entries;
    EachEntry(Widen(folder), [&](const std::wstring& name, DWORD attributes) {
        entries.push_back({Narrow(name), IsFolder(attributes)});
    });
    return entries;
}

bool CreateFolder(const std::string& path) {
    return CreateDirectoryW(Widen(path).c_str(), nullptr) != FALSE;
}

bool RemoveTree(const std::string& path) {
    std::wstring wide = Widen(path);
    while (wide.size() > 3 && (wide.back() == L'\\' || wide.back() == L'/')) wide.pop_back();
    DWORD attributes = GetFileAttributesW(wide.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           RemoveWide(wide, attributes);
}

bool RemoveFile(const std::string& path) {
    std::wstring wide = Widen(path);
    SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
    return DeleteFileW(wide.c_str()) != FALSE;
}

bool MoveReplacing(const std::string& from, const std::string& to) {
    return MoveFileExW(Widen(from).c_str(), Widen(to).c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

bool SetHidden(const std::string& path) {
    std::wstring wide = Widen(path);
    DWORD attributes = GetFileAttributesW(wide.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           SetFileAttributesW(wide.c_str(), attributes | FILE_ATTRIBUTE_HIDDEN) != FALSE;
}

int64_t WriteNewFile(const std::string& path, std::span<const uint8_t> bytes) {
    win32::OwnedHandle file = win32::Own(CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                                     CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return -1;
    size_t written = 0;
    while (written < bytes.size()) {
        DWORD chunk = DWORD(std::min<size_t>(bytes.size() - written, kLargestWrite)), count = 0;
        if (!WriteFile(file.get(), bytes.data() + written, chunk, &count, nullptr) || count == 0)
            break;
        written += count;
    }
    return int64_t(written);
}

uint32_t CopyFileReplacing(const std::string& from, const std::string& to) {
    std::wstring target = Widen(to);
    if (!CopyFileW(Widen(from).c_str(), target.c_str(), FALSE)) return GetLastError();
    win32::OwnedHandle file = win32::Own(CreateFileW(
        target.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || !FlushFileBuffers(file.get())) return GetLastError();
    return 0;
}

}  // namespace platform
