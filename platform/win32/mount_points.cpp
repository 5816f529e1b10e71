#include "platform/win32/mount_points.h"

#include <utility>

#include "platform/clock.h"
#include "platform/win32/volumes.h"
#include "platform/win32/wide.h"

namespace platform::win32 {
namespace {

// Volume GUID paths are 49 characters with their backslash and NUL.
constexpr DWORD kVolumeNameSize = 100;
constexpr int64_t kRemountPauseMs = 200;

// The device path given a letter for a moment, only to ask for its volume name; the
// definition goes away on every path, not just when all steps succeed.
class TemporaryDosDevice {
public:
    TemporaryDosDevice(std::wstring drive, std::wstring target)
        : drive_(std::move(drive)), target_(std::move(target)) {
        defined_ = DefineDosDeviceW(DDD_RAW_TARGET_PATH, drive_.c_str(), target_.c_str());
    }
    ~TemporaryDosDevice() { Remove(); }
    TemporaryDosDevice(const TemporaryDosDevice&) = delete;
    TemporaryDosDevice& operator=(const TemporaryDosDevice&) = delete;

    bool Defined() const { return defined_; }

    bool Remove() {
        if (!defined_) return false;
        defined_ = false;
        return DefineDosDeviceW(
            DDD_RAW_TARGET_PATH | DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE, drive_.c_str(),
            target_.c_str());
    }

private:
    std::wstring drive_;
    std::wstring target_;
    bool defined_ = false;
};

// The volume GUID path mounted at a root ("E:\"), or "" when there is none.
std::wstring VolumeNameAt(const std::wstring& root) {
    wchar_t name[kVolumeNameSize];
    if (!GetVolumeNameForVolumeMountPointW(root.c_str(), name, kVolumeNameSize)) return {};
    return name;
}

}  // namespace

std::wstring FirstPartitionPath(int32_t number) {
    return L"\\device\\harddisk" + std::to_wstring(number) + L"\\partition1";
}

std::optional<wchar_t> FirstFreeLetter(DWORD usedLetters) {
    for (int bit = 2; bit < 26; ++bit) {
        if (!(usedLetters & (DWORD(1) << bit))) return wchar_t(L'A' + bit);
    }
    return std::nullopt;
}

std::string AssignDriveLetter(const std::wstring& devicePath) {
    auto letter = FirstFreeLetter(GetLogicalDrives());
    if (!letter) return {};
    const std::wstring drive{*letter, L':'};
    const std::wstring root = drive + L'\\';
    TemporaryDosDevice temporary(drive, devicePath);
    if (!temporary.Defined()) return {};
    std::wstring volume = VolumeNameAt(root);
    if (volume.empty() || !temporary.Remove()) return {};
    if (!SetVolumeMountPointW(root.c_str(), volume.c_str())) return {};
    return Narrow(drive);
}

bool RemountVolume(const std::string& letter) {
    const std::wstring root = RootOf(letter);
    std::wstring volume = VolumeNameAt(root);
    if (volume.empty() || !DeleteVolumeMountPointW(root.c_str())) return true;
    SystemClock().SleepMs(kRemountPauseMs);
    return SetVolumeMountPointW(root.c_str(), volume.c_str());
}

}  // namespace platform::win32
