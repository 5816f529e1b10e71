#include "platform/win32/device_io.h"

namespace platform::win32 {

std::wstring PhysicalDrivePath(int32_t number) {
    return L"\\\\.\\PHYSICALDRIVE" + std::to_wstring(number);
}

OwnedHandle OpenDevice(const std::wstring& path, DWORD access) {
    return Own(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr));
}

bool ControlDevice(HANDLE device, DWORD code, const void* input, DWORD inputSize, void* output,
                   DWORD outputSize) {
    DWORD returned = 0;
    return DeviceIoControl(device, code, const_cast<void*>(input), inputSize, output, outputSize,
                           &returned, nullptr);
}

std::optional<STORAGE_DEVICE_NUMBER> DeviceNumberOf(const std::wstring& path, DWORD access) {
    OwnedHandle device = OpenDevice(path, access);
    STORAGE_DEVICE_NUMBER number{};
    if (!device || !ControlDevice(device.get(), IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0,
                                  &number, sizeof number))
        return std::nullopt;
    return number;
}

}  // namespace platform::win32
