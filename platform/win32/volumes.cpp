#include "platform/win32/volumes.h"

#include <windows.h>

#include <winioctl.h>

#include "platform/paths.h"
#include "platform/win32/device_io.h"
#include "platform/win32/trim.h"
#include "platform/win32/wide.h"

namespace platform::win32 {
namespace {

// Room for the longest label or file-system name and its NUL.
constexpr DWORD kVolumeTextSize = 261;

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }

}  // namespace

// The list can grow between asking for its length and fetching it; then ask again.
std::vector<std::string> LogicalDriveRoots() {
    std::wstring buffer(GetLogicalDriveStringsW(0, nullptr), L'\0');
    for (;;) {
        DWORD length = GetLogicalDriveStringsW(DWORD(buffer.size()), buffer.data());
        if (length == 0) return {};
        if (length < buffer.size()) {
            buffer.resize(length);
            break;
        }
        buffer.assign(length + 1, L'\0');
    }
    std::vector<std::string> roots;
    for (size_t start = 0; start < buffer.size();) {
        size_t end = buffer.find(L'\0', start);
        if (end == std::wstring::npos) end = buffer.size();
        if (end > start)
            roots.push_back(Narrow(std::wstring_view(buffer).substr(start, end - start)));
        start = end + 1;
    }
    return roots;
}

std::wstring RootOf(const std::string& letter) {
    std::string root = letter;
    if (root.empty() || root.back() != '\\') root += '\\';
    return Widen(root);
}

std::string LetterOfRoot(const std::string& root) {
    if (root.empty()) return {};
    return {UpperAscii(root[0]), ':'};
}

bool LocateVolume(const std::string& letter, VolumeLocation& location) {
    std::wstring path = VolumePath(letter);
    if (path.empty()) return false;
    auto number = DeviceNumberOf(path, GENERIC_READ);
    if (!number || number->DeviceType != FILE_DEVICE_DISK || number->PartitionNumber < 1)
        return false;
    location.DiskNumber = int32_t(number->DeviceNumber);
    location.PartitionNumber = int32_t(number->PartitionNumber);
    return true;
}

std::string VolumeLabel(const std::string& letter) {
    wchar_t label[kVolumeTextSize];
    if (!GetVolumeInformationW(RootOf(letter).c_str(), label, kVolumeTextSize, nullptr, nullptr,
                               nullptr, nullptr, 0))
        return {};
    return TrimSpaces(Narrow(label));
}

std::string FileSystemName(const std::string& letter) {
    wchar_t name[kVolumeTextSize];
    if (!GetVolumeInformationW(RootOf(letter).c_str(), nullptr, 0, nullptr, nullptr, nullptr, name,
                               kVolumeTextSize))
        return {};
    return TrimSpaces(Narrow(name));
}

std::string VolumeName(const std::string& letter) {
    if (letter.empty()) return {};
    char upper = UpperAscii(letter[0]);
    if (upper < 'A' || upper > 'Z') return {};
    return {upper};
}

bool IsSystemVolume(const std::string& volumeName) {
    std::string systemVolume = VolumeName(SystemDirectory());
    return !systemVolume.empty() && volumeName == systemVolume;
}

std::wstring VolumePath(const std::string& letter) {
    std::string name = VolumeName(letter);
    if (name.empty()) return {};
    return L"\\\\.\\" + Widen(name) + L":";
}

}  // namespace platform::win32
