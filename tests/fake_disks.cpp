#include "tests/fake_disks.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "disk/disk_system.h"

namespace test {
namespace {

class FakeHandle : public platform::DiskHandle {
public:
    FakeHandle(FakeDevice& device, int& layoutUpdates,
               std::function<platform::DiskFingerprint()> fingerprint)
        : device_(device), layoutUpdates_(layoutUpdates), fingerprint_(std::move(fingerprint)) {}
    ~FakeHandle() override { device_.locked = false; }
    int64_t WriteAt(int64_t offset, const void* data, int64_t bytes) override {
        if (device_.refusesWrites) return 0;
        if (device_.bytes.size() < size_t(offset + bytes)) device_.bytes.resize(offset + bytes);
        std::memcpy(device_.bytes.data() + offset, data, size_t(bytes));
        return bytes;
    }
    int64_t ReadAt(int64_t offset, void* data, int64_t bytes) override {
        if (device_.refusesReads) return 0;
        int64_t available = std::max<int64_t>(0, int64_t(device_.bytes.size()) - offset);
        bytes = std::min(bytes, available);
        if (bytes > 0) std::memcpy(data, device_.bytes.data() + offset, size_t(bytes));
        return bytes;
    }
    int64_t Length() override { return int64_t(device_.bytes.size()); }
    platform::DiskFingerprint Fingerprint() override { return fingerprint_(); }
    bool Lock() override {
        ++device_.lockCalls;
        if (device_.busyLocks > 0) return --device_.busyLocks, false;
        return device_.locked = true;
    }
    bool Dismount() override { return device_.dismounted = true; }
    bool Unlock() override { return !(device_.locked = false); }
    bool Flush() override { return true; }
    void UseDirectTransfers(bool) override {}
    void AllowExtendedAccess() override {}
    void UpdateProperties() override { ++layoutUpdates_; }

private:
    FakeDevice& device_;
    int& layoutUpdates_;
    std::function<platform::DiskFingerprint()> fingerprint_;
};

}  // namespace

FakeDiskSystem* FakeDiskSystem::Install() {
    auto fake = std::make_unique<FakeDiskSystem>();
    FakeDiskSystem* raw = fake.get();
    disk::SetDiskSystem(std::move(fake));
    return raw;
}

bool FakeDiskSystem::ProbeDisk(int32_t number, platform::DiskFacts& facts) {
    auto found = disks.find(number);
    if (found == disks.end()) return false;
    facts = found->second;
    return true;
}

std::vector<std::string> FakeDiskSystem::LogicalDriveRoots() {
    std::vector<std::string> roots;
    for (const FakeVolume& volume : volumes) roots.push_back(volume.root);
    return roots;
}

std::string FakeDiskSystem::LetterOfRoot(const std::string& root) { return root.substr(0, 2); }

const FakeVolume* FakeDiskSystem::Volume(const std::string& letter) const {
    for (const FakeVolume& volume : volumes)
        if (volume.root.substr(0, 2) == letter) return &volume;
    return nullptr;
}

bool FakeDiskSystem::LocateVolume(const std::string& letter, platform::VolumeLocation& location) {
    const FakeVolume* volume = Volume(letter);
    if (!volume || !volume->onDisk) return false;
    location = volume->location;
    return true;
}

std::string FakeDiskSystem::VolumeLabel(const std::string& letter) {
    const FakeVolume* volume = Volume(letter);
    return volume ? volume->label : "";
}

std::string FakeDiskSystem::FileSystemName(const std::string& letter) {
    const FakeVolume* volume = Volume(letter);
    return volume ? volume->fileSystem : "";
}

std::unique_ptr<platform::DiskHandle> FakeDiskSystem::Open(
    const std::string& device, std::function<platform::DiskFingerprint()> fingerprint) {
    auto found = devices.find(device);
    if (found == devices.end()) return nullptr;
    return std::make_unique<FakeHandle>(found->second, layoutUpdates, std::move(fingerprint));
}

// The handle answers for whatever disk has the number when it is asked.
std::unique_ptr<platform::DiskHandle> FakeDiskSystem::OpenDisk(int32_t number, bool) {
    return Open("disk" + std::to_string(number), [this, number] {
        platform::DiskFingerprint fingerprint;
        auto found = disks.find(number);
        if (found == disks.end()) return fingerprint;
        fingerprint.LengthBytes = found->second.LengthBytes;
        fingerprint.Descriptor = found->second.Descriptor;
        if (found->second.Layout) fingerprint.Signature = found->second.Layout->Signature;
        fingerprint.DiskNumber = number;
        return fingerprint;
    });
}

std::unique_ptr<platform::DiskHandle> FakeDiskSystem::OpenVolume(const std::string& letter, bool) {
    return Open("volume " + VolumeName(letter) + ":", [] { return platform::DiskFingerprint{}; });
}

std::string FakeDiskSystem::VolumeName(const std::string& letter) {
    if (letter.empty()) return "";
    char first = char(std::toupper(static_cast<unsigned char>(letter[0])));
    return first >= 'A' && first <= 'Z' ? std::string(1, first) : "";
}

bool FakeDiskSystem::IsSystemVolume(const std::string& volumeName) {
    return volumeName == systemVolume;
}

bool FakeDiskSystem::EjectDisk(int32_t number, const std::string& letters) {
    ejected.emplace_back(number, letters);
    return true;
}

std::string FakeDiskSystem::AssignDriveLetter(int32_t) { return assignedLetter; }

bool FakeDiskSystem::RemountVolume(const std::string& letter) {
    remounted.push_back(letter);
    return true;
}

platform::FormatServiceStatus FakeDiskSystem::RunFormatService(
    const platform::FormatRequest& request, const platform::FormatReport& report) {
    if (formatServiceMissing) return platform::FormatServiceStatus::ServiceMissing;
    formats.push_back(request);
    for (auto [command, value] : formatReports) {
        uint8_t flag = uint8_t(value);
        bool goOn = command == platform::kFormatDone ? report(command, 0, &flag)
                                                     : report(command, 0, &value);
        if (!goOn) return platform::FormatServiceStatus::Ran;
    }
    FakeDevice& volume = devices["volume " + VolumeName(request.letter) + ":"];
    if (volume.bytes.size() < formattedBoot.size()) volume.bytes.resize(formattedBoot.size());
    volume.bytes.replace(0, formattedBoot.size(), formattedBoot);
    return platform::FormatServiceStatus::Ran;
}

platform::DiskFacts DiskFacts(int16_t busType, int64_t bytes, std::vector<FakeEntry> entries,
                              std::string vendor, std::string product) {
    platform::DiskFacts facts;
    facts.LengthBytes = bytes;
    facts.DriveTypeCode = busType == 7 ? 2 : 3;
    facts.Descriptor = platform::DeviceDescriptor{busType, vendor, product, "SN" + product};
    facts.Geometry = platform::DiskGeometry{bytes / (255 * 63 * 512), 11, 255, 63, 512, bytes};
    platform::DriveLayout layout;
    layout.PartitionCount = 4;
    layout.Signature = 0x12345678;
    for (size_t slot = 0; slot < entries.size() && slot < 4; ++slot) {
        platform::PartitionInformation& entry = layout.Entries[slot];
        entry.StartingOffset = entries[slot].start * 512;
        entry.PartitionLength = entries[slot].sectors * 512;
        entry.HiddenSectors = uint32_t(entries[slot].start);
        entry.PartitionNumber = uint32_t(slot + 1);
        entry.PartitionType = entries[slot].type;
        entry.BootIndicator = entries[slot].active ? 0x80 : 0;
    }
    facts.Layout = layout;
    return facts;
}

}  // namespace test
