// A disk service made of plain data, for tests of the disk code without real disks.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/disks.h"

namespace test {

struct FakeVolume {
    std::string root;  // as LogicalDriveRoots reports it; the letter is root minus "\"
    bool onDisk = true;
    platform::VolumeLocation location;
    std::string label;
    std::string fileSystem;
};

// Memory-backed device; Lock fails while busyLocks is above zero, and transfers the
// device refuses move nothing.
struct FakeDevice {
    std::string bytes;
    bool refusesReads = false;
    bool refusesWrites = false;
    int busyLocks = 0;
    int lockCalls = 0;
    bool locked = false;
    bool dismounted = false;
};

class FakeDiskSystem : public platform::DiskSystem {
public:
    std::map<int32_t, platform::DiskFacts> disks;
    std::vector<FakeVolume> volumes;
    std::map<std::string, FakeDevice> devices;  // "disk0", "volume E:"
    std::string systemVolume = "C";
    std::string rightsProblem;
    std::vector<std::pair<int32_t, std::string>> ejected;
    std::string assignedLetter = "F:";  // what AssignDriveLetter gives
    std::vector<std::string> remounted;
    std::vector<platform::FormatRequest> formats;
    // Each format plays these reports (command, info value) and then copies formattedBoot
    // over the start of the formatted volume.
    std::vector<std::pair<uint32_t, uint32_t>> formatReports = {{15, 0}, {0, 50}, {11, 1}};
    std::string formattedBoot;
    bool formatServiceMissing = false;
    int layoutUpdates = 0;
    bool diskWritesNeedVolumesLocked = false;

    static FakeDiskSystem* Install();  // becomes the program's disk service

    void Rescan() override {}
    std::string DevicePath(int32_t number) override { return "disk" + std::to_string(number); }
    bool ProbeDisk(int32_t number, platform::DiskFacts& facts) override;
    std::vector<std::string> LogicalDriveRoots() override;
    std::string LetterOfRoot(const std::string& root) override;
    bool LocateVolume(const std::string& letter, platform::VolumeLocation& location) override;
    std::string VolumeLabel(const std::string& letter) override;
    std::string FileSystemName(const std::string& letter) override;
    std::unique_ptr<platform::DiskHandle> OpenDisk(int32_t number, bool write) override;
    bool DiskWritesNeedVolumesLocked() override { return diskWritesNeedVolumesLocked; }
    std::unique_ptr<platform::DiskHandle> OpenVolume(const std::string& letter,
                                                     bool write) override;
    std::string VolumeName(const std::string& letter) override;
    bool IsSystemVolume(const std::string& volumeName) override;
    std::string WriteRightsProblem() override { return rightsProblem; }
    bool EjectDisk(int32_t number, const std::string& letters) override;
    std::string AssignDriveLetter(int32_t number) override;
    bool RemountVolume(const std::string& letter) override;
    platform::FormatServiceStatus RunFormatService(const platform::FormatRequest& request,
                                                   const platform::FormatReport& report) override;

private:
    const FakeVolume* Volume(const std::string& letter) const;
    std::unique_ptr<platform::DiskHandle> Open(
        const std::string& device, std::function<platform::DiskFingerprint()> fingerprint);
};

// Facts of a disk with the given bus type, size and MBR entries (start, length in
// sectors of 512 bytes, type, active).
struct FakeEntry {
    int64_t start, sectors;
    uint8_t type;
    bool active = false;
};
platform::DiskFacts DiskFacts(int16_t busType, int64_t bytes, std::vector<FakeEntry> entries,
                              std::string vendor = "Vendor", std::string product = "Product");

}  // namespace test
