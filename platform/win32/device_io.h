// Devices by path and their control requests.
#pragma once

#include <windows.h>

#include <winioctl.h>

#include <cstdint>
#include <optional>
#include <string>

#include "platform/win32/owned_handle.h"

namespace platform::win32 {

// "\\.\PHYSICALDRIVEn".
std::wstring PhysicalDrivePath(int32_t number);

// Opens an existing device or file with read and write sharing; access 0 only queries.
OwnedHandle OpenDevice(const std::wstring& path, DWORD access);

// One DeviceIoControl call; false when the device refuses it.
bool ControlDevice(HANDLE device, DWORD code, const void* input, DWORD inputSize, void* output,
                   DWORD outputSize);

// The disk and partition numbers of a disk or volume, opened with `access` to ask.
std::optional<STORAGE_DEVICE_NUMBER> DeviceNumberOf(const std::wstring& path, DWORD access);

}  // namespace platform::win32
