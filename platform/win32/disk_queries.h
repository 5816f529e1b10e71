// The questions one look at a physical disk asks: length, identity, geometry and MBR layout.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <span>

#include "platform/disks.h"

namespace platform::win32 {

// The output sizes the queries are made with: a descriptor with room for its texts, and
// the layout header with 50 partition entries.
constexpr size_t kDescriptorBufferSize = 1059;
constexpr size_t kLayoutBufferSize = 1608;

int64_t DiskLength(HANDLE disk);  // 0 when unknown
std::optional<DeviceDescriptor> ReadDescriptor(HANDLE disk);
std::optional<DiskGeometry> ReadGeometry(HANDLE disk);
std::optional<DriveLayout> ReadLayout(HANDLE disk);
// The number of a disk (not of a volume, a CD-ROM or a file): IOCTL_STORAGE_GET_DEVICE_NUMBER.
std::optional<int32_t> ReadDiskNumber(HANDLE disk);
DiskFingerprint ReadFingerprint(HANDLE disk);

// Decoding of the returned buffers. Texts at offsets outside the buffer are empty, a text
// without its NUL ends with the buffer, and bytes other than printable ASCII read as '?'.
DeviceDescriptor ParseDescriptor(std::span<const uint8_t> buffer);
DriveLayout ParseLayout(std::span<const uint8_t, kLayoutBufferSize> buffer);

}  // namespace platform::win32
