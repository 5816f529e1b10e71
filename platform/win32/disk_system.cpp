#include <windows.h>

#include <string>

#include "platform/disks.h"
#include "platform/win32/device_io.h"
#include "platform/win32/disk_handle.h"
#include "platform/win32/disk_queries.h"
#include "platform/win32/eject.h"
#include "platform/win32/format_service.h"
#include "platform/win32/mount_points.h"
#include "platform/win32/volumes.h"
#include "platform/win32/write_rights.h"

namespace platform {
namespace {

class Win32DiskSystem : public DiskSystem {
public:
    // Disk numbers are the system's own and stay with their devices.
    void Rescan() override {}

    bool ProbeDisk(int32_t number, DiskFacts& facts) override {
        facts = {};
        std::wstring path = win32::PhysicalDrivePath(number);
        win32::OwnedHandle disk = win32::OpenDevice(path, GENERIC_READ);
        if (!disk) return false;
        facts.LengthBytes = win32::DiskLength(disk.get());
        facts.DriveTypeCode = int32_t(GetDriveTypeW((path + L"\\").c_str()));
        facts.Descriptor = win32::ReadDescriptor(disk.get());
        facts.Geometry = win32::ReadGeometry(disk.get());
        facts.Layout = win32::ReadLayout(disk.get());
        return true;
    }

    // Asking without access rights finds the disk without administrator rights too.
    std::string DevicePath(int32_t number) override {
        if (!win32::OpenDevice(win32::PhysicalDrivePath(number), 0)) return {};
        return "\\\\.\\PhysicalDrive" + std::to_string(number);
    }

    std::vector<std::string> LogicalDriveRoots() override { return win32::LogicalDriveRoots(); }
    std::string LetterOfRoot(const std::string& root) override { return win32::LetterOfRoot(root); }
    bool LocateVolume(const std::string& letter, VolumeLocation& location) override {
        return win32::LocateVolume(letter, location);
    }
    std::string VolumeLabel(const std::string& letter) override {
        return win32::VolumeLabel(letter);
    }
    std::string FileSystemName(const std::string& letter) override {
        return win32::FileSystemName(letter);
    }

    std::unique_ptr<DiskHandle> OpenDisk(int32_t number, bool write) override {
        return win32::OpenDiskHandle(win32::PhysicalDrivePath(number), write);
    }
    // Writes to a disk's sectors outside its mounted volumes are let through.
    bool DiskWritesNeedVolumesLocked() override { return false; }
    std::unique_ptr<DiskHandle> OpenVolume(const std::string& letter, bool write) override {
        std::wstring path = win32::VolumePath(letter);
        return path.empty() ? nullptr : win32::OpenDiskHandle(path, write);
    }

    std::string VolumeName(const std::string& letter) override { return win32::VolumeName(letter); }
    bool IsSystemVolume(const std::string& volumeName) override {
        return win32::IsSystemVolume(volumeName);
    }
    std::string WriteRightsProblem() override { return win32::WriteRightsProblem(); }

    // The disk is found again through its first letter's volume.
    bool EjectDisk(int32_t, const std::string& letters) override {
        return win32::EjectDisk(letters);
    }

    std::string AssignDriveLetter(int32_t number) override {
        return win32::AssignDriveLetter(win32::FirstPartitionPath(number));
    }
    bool RemountVolume(const std::string& letter) override { return win32::RemountVolume(letter); }
    FormatServiceStatus RunFormatService(const FormatRequest& request,
                                         const FormatReport& report) override {
        return win32::RunFormatService(win32::SystemFormatLibrary(), request, report);
    }
};

}  // namespace

std::unique_ptr<DiskSystem> CreateNativeDiskSystem() { return std::make_unique<Win32DiskSystem>(); }

}  // namespace platform
