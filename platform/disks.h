// Physical disks and their volumes as the system shows them: what one look at a disk
// finds, the volumes behind the mounted drives, raw handles with locking, and ejection.
// Windows speaks of "\\.\PHYSICALDRIVEn" and drive letters; on Linux a disk number is
// the position of a /sys/block entry in name order and a "letter" is a mount point.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// DISK_GEOMETRY_EX as the system returns it.
struct DiskGeometry {
    int64_t Cylinders = 0;
    uint32_t MediaType = 0;
    uint32_t TracksPerCylinder = 0;
    uint32_t SectorsPerTrack = 0;
    uint32_t BytesPerSector = 0;
    int64_t DiskSize = 0;  // bytes
};

// PARTITION_INFORMATION of one MBR entry.
struct PartitionInformation {
    int64_t StartingOffset = 0;   // bytes
    int64_t PartitionLength = 0;  // bytes; 0 = the entry is not in use
    uint32_t HiddenSectors = 0;
    uint32_t PartitionNumber = 0;
    uint8_t PartitionType = 0;
    uint8_t BootIndicator = 0;
    uint8_t RecognizedPartition = 0;
    uint8_t RewritePartition = 0;
};

// The MBR layout query: only the first four entries matter to the program.
struct DriveLayout {
    uint32_t PartitionCount = 0;
    uint32_t Signature = 0;
    std::array<PartitionInformation, 4> Entries{};
};

// The storage device descriptor: bus type and the identification texts, trimmed.
struct DeviceDescriptor {
    int16_t BusType = 0;  // STORAGE_BUS_TYPE value
    std::string VendorId;
    std::string ProductId;
    std::string SerialNumber;  // "" when the device tells none
};

// What one look at a disk found; every query may fail on its own.
struct DiskFacts {
    int64_t LengthBytes = 0;  // 0 when the length query failed
    int32_t DriveTypeCode = 0;
    std::optional<DeviceDescriptor> Descriptor;
    std::optional<DiskGeometry> Geometry;
    std::optional<DriveLayout> Layout;
    bool HoldsSystem = false;  // Linux: the disk holds a system mount or active swap
};

// The volume behind one mounted drive: the disk it lies on and its partition number.
struct VolumeLocation {
    int32_t DiskNumber = 0;
    int32_t PartitionNumber = 0;
};

// What sets an open disk apart from another disk that gets its number later (a stick
// pulled and another plugged in): the answers of the same queries ProbeDisk asks.
struct DiskFingerprint {
    int64_t LengthBytes = 0;  // 0 when unknown
    std::optional<DeviceDescriptor> Descriptor;
    uint32_t Signature = 0;             // the MBR's disk signature; 0 without a layout
    std::optional<int32_t> DiskNumber;  // the system's own number of the disk, where it has one
};

// An open disk or volume. Destroying it unlocks (where locked) and closes it.
class DiskHandle {
public:
    virtual ~DiskHandle() = default;
    // Bytes moved at the byte offset from the start of the device; 0 on failure.
    virtual int64_t WriteAt(int64_t offset, const void* data, int64_t bytes) = 0;
    virtual int64_t ReadAt(int64_t offset, void* data, int64_t bytes) = 0;
    virtual int64_t Length() = 0;  // 0 when unknown
    virtual DiskFingerprint Fingerprint() = 0;
    virtual bool Lock() = 0;  // one attempt; false while the volume is in use
    virtual bool Dismount() = 0;
    virtual bool Unlock() = 0;
    virtual bool Flush() = 0;  // what was written is on the medium
    // Large transfers whose buffers, offsets and lengths are whole sectors in memory
    // aligned to 4096 bytes pass the system's cache (Linux: O_DIRECT), which is faster for
    // bulk copies and reads what is on the medium; others still work. Windows keeps the
    // buffering the handle was opened with.
    virtual void UseDirectTransfers(bool direct) = 0;
    // Lets reads and writes reach the last sectors of a volume, past what its file system
    // claims (Windows checks volume bounds otherwise).
    virtual void AllowExtendedAccess() = 0;
    // Makes the system take in a partition table just written to this disk: its partitions
    // and their device nodes follow the new table when this returns.
    virtual void UpdateProperties() = 0;
};

// What the format service reports, numbered as the Windows service numbers it.
enum FormatCommand : uint32_t {
    kFormatProgress = 0,  // info: uint32_t percent
    kFormatStructureDone = 1,
    kFormatIncompatible = 3,
    kFormatAccessDenied = 6,
    kFormatWriteProtected = 7,
    kFormatVolumeInUse = 8,
    kFormatNoQuickFormat = 9,
    kFormatDone = 11,  // info: uint8_t success flag
    kFormatBadLabel = 12,
    kFormatOutput = 14,  // info: text
    kFormatCreating = 15,
    kFormatBadClusterSize = 16,
    kFormatClusterTooBig = 17,
    kFormatTooSmall = 18,
    kFormatTooBig = 19,
    kFormatNoMedia = 20,
};

// Returning false asks the service to stop as soon as it can.
using FormatReport = std::function<bool(uint32_t command, uint32_t action, const void* info)>;

struct FormatRequest {
    std::string letter;      // the volume's drive name ("E:"; Linux: its folder)
    std::string fileSystem;  // "FAT32", "NTFS", "exFAT" or "UDF"
    std::string label;
    bool quick = true;
    uint32_t clusterSize = 0;  // bytes; 0 = the service's choice
};

enum class FormatServiceStatus { Ran, ServiceMissing };

// Disks are looked at by number, 0 up to this limit (exclusive).
constexpr int32_t kDiskNumbers = 50;

class DiskSystem {
public:
    virtual ~DiskSystem() = default;

    // Takes a fresh look at the attached disks; the numbers given out stay bound to the
    // same devices until the next rescan.
    virtual void Rescan() = 0;
    // False when disk `number` (below kDiskNumbers) is absent or cannot be looked at.
    virtual bool ProbeDisk(int32_t number, DiskFacts& facts) = 0;
    // The device path of disk `number` as users name it ("\\.\PhysicalDrive2",
    // "/dev/sdb"); "" when there is no such disk.
    virtual std::string DevicePath(int32_t number) = 0;
    // The mounted drives in the system's order: "E:\" on Windows, mount points on Linux.
    virtual std::vector<std::string> LogicalDriveRoots() = 0;
    // The drive letter of a root as the program shows it: "E:" on Windows (upper case),
    // the mount point itself on Linux. Every `letter` below is such a text.
    virtual std::string LetterOfRoot(const std::string& root) = 0;
    // False when the root is no partition of a disk (a CD-ROM, a network share).
    virtual bool LocateVolume(const std::string& letter, VolumeLocation& location) = 0;
    virtual std::string VolumeLabel(const std::string& letter) = 0;     // "" when unknown
    virtual std::string FileSystemName(const std::string& letter) = 0;  // "" when unknown

    // Raw access without the program's guards; nullptr when the device cannot be opened.
    virtual std::unique_ptr<DiskHandle> OpenDisk(int32_t number, bool write) = 0;
    // True where a disk's sectors are written only while none of its volumes is mounted
    // (Linux writes a disk through an exclusive open); Windows writes around them.
    virtual bool DiskWritesNeedVolumesLocked() = 0;
    virtual std::unique_ptr<DiskHandle> OpenVolume(const std::string& letter, bool write) = 0;

    // The volume a letter argument names in the refusal texts, or "" when the argument can
    // name none (Windows: the upper-case letter A-Z; Linux: an absolute mount point).
    virtual std::string VolumeName(const std::string& letter) = 0;
    // The volume of the running system (Windows: the system directory's drive).
    virtual bool IsSystemVolume(const std::string& volumeName) = 0;
    // Why disks cannot be written (missing rights), or "" when they can.
    virtual std::string WriteRightsProblem() = 0;

    // Asks the system to prepare the disk for removal. letters: the disk's drive
    // letters as listed; Windows uses the first one, Linux the disk number.
    virtual bool EjectDisk(int32_t number, const std::string& letters) = 0;

    // Gives partition 1 of the disk a drive letter when the system gave it none ("X:";
    // Linux: a folder of the program that stands for the partition even before it has a
    // file system). "" on failure.
    virtual std::string AssignDriveLetter(int32_t number) = 0;
    // Makes the system read the volume's boot sector again. False only when the volume
    // lost its letter on the way.
    virtual bool RemountVolume(const std::string& letter) = 0;
    // Formats the volume, reporting through report on the calling thread; returns after
    // the final report. The volume is mounted at its letter again afterwards where the
    // system can mount it.
    virtual FormatServiceStatus RunFormatService(const FormatRequest& request,
                                                 const FormatReport& report) = 0;
};

// The native implementation.
std::unique_ptr<DiskSystem> CreateNativeDiskSystem();

// Calls onChange (on a thread of its own) shortly after disks or partitions come or go,
// once per burst of changes, until the returned object is destroyed. nullptr where the
// window system reports device changes itself (Windows).
class DeviceWatch {
public:
    virtual ~DeviceWatch() = default;
};
std::unique_ptr<DeviceWatch> WatchDeviceChanges(std::function<void()> onChange);

// Virtual disks for trying the program without a real stick.
// A sparse file of `bytes` bytes; false with a reason in error.
bool CreateImageFile(const std::string& path, int64_t bytes, std::string& error);
// Attaches an image as a disk with its partitions; the new device path, or "" and error.
std::string AttachImage(const std::string& path, std::string& error);
bool DetachImage(const std::string& device, std::string& error);

}  // namespace platform
