#include "platform/win32/disk_queries.h"

#include <winioctl.h>

#include <array>
#include <cstddef>
#include <cstring>
#include <string>

#include "platform/win32/device_io.h"
#include "platform/win32/trim.h"

namespace platform::win32 {
namespace {

static_assert(sizeof(DISK_GEOMETRY_EX) == 40);
static_assert(sizeof(PARTITION_INFORMATION) == 32);
static_assert(offsetof(DRIVE_LAYOUT_INFORMATION, PartitionEntry) == 8);

template <class Value>
Value LoadAt(std::span<const uint8_t> buffer, size_t offset) {
    Value value;
    std::memcpy(&value, buffer.data() + offset, sizeof value);
    return value;
}

// Identification texts are meant to be printable ASCII; anything else would not be valid
// UTF-8 text in the program, so it shows as '?'.
std::string IdentificationText(std::span<const uint8_t> buffer, DWORD offset) {
    if (offset == 0 || offset >= buffer.size()) return {};
    std::string text;
    for (size_t i = offset; i < buffer.size() && buffer[i] != 0; ++i)
        text += buffer[i] >= 0x20 && buffer[i] < 0x7F ? char(buffer[i]) : '?';
    return TrimSpaces(text);
}

PartitionInformation Entry(const PARTITION_INFORMATION& entry) {
    PartitionInformation result;
    result.StartingOffset = entry.StartingOffset.QuadPart;
    result.PartitionLength = entry.PartitionLength.QuadPart;
    result.HiddenSectors = entry.HiddenSectors;
    result.PartitionNumber = entry.PartitionNumber;
    result.PartitionType = entry.PartitionType;
    result.BootIndicator = entry.BootIndicator;
    result.RecognizedPartition = entry.RecognizedPartition;
    result.RewritePartition = entry.RewritePartition;
    return result;
}

}  // namespace

int64_t DiskLength(HANDLE disk) {
    GET_LENGTH_INFORMATION length{};
    if (!ControlDevice(disk, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length))
        return 0;
    return length.Length.QuadPart;
}

std::optional<DeviceDescriptor> ReadDescriptor(HANDLE disk) {
    STORAGE_PROPERTY_QUERY query{};
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    std::array<uint8_t, kDescriptorBufferSize> buffer{};
    if (!ControlDevice(disk, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, buffer.data(),
                       DWORD(buffer.size())))
        return std::nullopt;
    return ParseDescriptor(buffer);
}

DeviceDescriptor ParseDescriptor(std::span<const uint8_t> buffer) {
    DeviceDescriptor descriptor;
    if (buffer.size() < sizeof(STORAGE_DEVICE_DESCRIPTOR)) return descriptor;
    // The bus type is an enumeration, but only its low 16 bits name a bus.
    descriptor.BusType = LoadAt<int16_t>(buffer, offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType));
    descriptor.VendorId = IdentificationText(
        buffer, LoadAt<DWORD>(buffer, offsetof(STORAGE_DEVICE_DESCRIPTOR, VendorIdOffset)));
    descriptor.ProductId = IdentificationText(
        buffer, LoadAt<DWORD>(buffer, offsetof(STORAGE_DEVICE_DESCRIPTOR, ProductIdOffset)));
    descriptor.SerialNumber = IdentificationText(
        buffer, LoadAt<DWORD>(buffer, offsetof(STORAGE_DEVICE_DESCRIPTOR, SerialNumberOffset)));
    return descriptor;
}

std::optional<int32_t> ReadDiskNumber(HANDLE disk) {
    STORAGE_DEVICE_NUMBER number{};
    if (!ControlDevice(disk, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number, sizeof number) ||
        number.DeviceType != FILE_DEVICE_DISK)
        return std::nullopt;
    return int32_t(number.DeviceNumber);
}

DiskFingerprint ReadFingerprint(HANDLE disk) {
    DiskFingerprint fingerprint;
    fingerprint.LengthBytes = DiskLength(disk);
    fingerprint.Descriptor = ReadDescriptor(disk);
    if (auto layout = ReadLayout(disk)) fingerprint.Signature = layout->Signature;
    fingerprint.DiskNumber = ReadDiskNumber(disk);
    return fingerprint;
}

std::optional<DiskGeometry> ReadGeometry(HANDLE disk) {
    DISK_GEOMETRY_EX geometry{};
    if (!ControlDevice(disk, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, &geometry,
                       sizeof geometry))
        return std::nullopt;
    DiskGeometry result;
    result.Cylinders = geometry.Geometry.Cylinders.QuadPart;
    result.MediaType = uint32_t(geometry.Geometry.MediaType);
    result.TracksPerCylinder = geometry.Geometry.TracksPerCylinder;
    result.SectorsPerTrack = geometry.Geometry.SectorsPerTrack;
    result.BytesPerSector = geometry.Geometry.BytesPerSector;
    result.DiskSize = geometry.DiskSize.QuadPart;
    return result;
}

// The MBR-only request: it reports the four primary entries in table order.
std::optional<DriveLayout> ReadLayout(HANDLE disk) {
    std::array<uint8_t, kLayoutBufferSize> buffer{};
    if (!ControlDevice(disk, IOCTL_DISK_GET_DRIVE_LAYOUT, nullptr, 0, buffer.data(),
                       DWORD(buffer.size())))
        return std::nullopt;
    return ParseLayout(buffer);
}

DriveLayout ParseLayout(std::span<const uint8_t, kLayoutBufferSize> buffer) {
    DriveLayout layout;
    layout.PartitionCount =
        LoadAt<DWORD>(buffer, offsetof(DRIVE_LAYOUT_INFORMATION, PartitionCount));
    layout.Signature = LoadAt<DWORD>(buffer, offsetof(DRIVE_LAYOUT_INFORMATION, Signature));
    for (size_t i = 0; i < layout.Entries.size(); ++i) {
        size_t offset =
            offsetof(DRIVE_LAYOUT_INFORMATION, PartitionEntry) + i * sizeof(PARTITION_INFORMATION);
        layout.Entries[i] = Entry(LoadAt<PARTITION_INFORMATION>(buffer, offset));
    }
    return layout;
}

}  // namespace platform::win32
