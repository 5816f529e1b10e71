#include <windows.h>

#include <winioctl.h>

#include "platform/disks.h"
#include "platform/win32/device_io.h"
#include "platform/win32/owned_handle.h"
#include "platform/win32/system_error.h"
#include "platform/win32/wide.h"

namespace platform {
namespace {

const char kNoAttach[] =
    "attaching raw images needs Linux; on Windows attach a VHD with Disk Management";

bool SetLength(HANDLE file, int64_t bytes) {
    LARGE_INTEGER end;
    end.QuadPart = bytes;
    return SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
}

}  // namespace

bool CreateImageFile(const std::string& path, int64_t bytes, std::string& error) {
    if (bytes <= 0) {
        error = "an image needs a size above 0 bytes";
        return false;
    }
    std::wstring widePath = Widen(path);
    win32::OwnedHandle file =
        win32::Own(CreateFileW(widePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        error = "cannot create " + path + ": " + win32::SystemErrorText(GetLastError());
        return false;
    }
    // Where the file system has no sparse files the image simply takes its full size.
    win32::ControlDevice(file.get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0);
    if (SetLength(file.get(), bytes)) return true;
    error = "cannot make " + path + " " + std::to_string(bytes) +
            " bytes long: " + win32::SystemErrorText(GetLastError());
    file.reset();
    DeleteFileW(widePath.c_str());
    return false;
}

std::string AttachImage(const std::string&, std::string& error) {
    error = kNoAttach;
    return {};
}

bool DetachImage(const std::string&, std::string& error) {
    error = kNoAttach;
    return false;
}

}  // namespace platform
