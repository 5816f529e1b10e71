// Checks of the Win32 disk layer where Wine can reach it: the disk and drives Wine shows,
// image files and raw transfers on them, the decoding of the storage queries, the letter
// rules, drive letters and mount points, and the ejection's interface classes.
// Prints "N passed, N failed".
#include <windows.h>

#include <winioctl.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/disks.h"
#include "platform/win32/disk_handle.h"
#include "platform/win32/disk_queries.h"
#include "platform/win32/eject.h"
#include "platform/win32/mount_points.h"
#include "platform/win32/wide.h"
#include "tests/win32/check.h"

namespace {

constexpr int64_t kGiB = int64_t(1) << 30;

// Counts the waits instead of sleeping.
class CountingClock : public platform::Clock {
public:
    explicit CountingClock(int64_t& slept) : slept_(slept) {}
    uint64_t TickMs() override { return 0; }
    int64_t NowUnixSeconds() override { return 0; }
    void SleepMs(int64_t ms) override { slept_ += ms; }

private:
    int64_t& slept_;
};

std::string TempPath(const char* name) {
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    return platform::Narrow(folder) + name;
}

// Wine shows one disk, number 0, with C: as its first partition and Z: as no partition.
void CheckSystemQueries(platform::DiskSystem& disks) {
    platform::DiskFacts facts;
    int found = 0;
    for (int32_t number = 0; number < 50; ++number) found += disks.ProbeDisk(number, facts);
    CHECK(found == 1);
    CHECK(!facts.Geometry && !facts.Descriptor);
    CHECK(disks.ProbeDisk(0, facts));
    CHECK(facts.Geometry && facts.Geometry->BytesPerSector == 512);
    CHECK(facts.Descriptor.has_value());
    CHECK(disks.DevicePath(0) == "\\\\.\\PhysicalDrive0");
    CHECK(disks.DevicePath(49).empty());

    auto roots = disks.LogicalDriveRoots();
    CHECK(std::find(roots.begin(), roots.end(), "C:\\") != roots.end());
    for (const auto& root : roots) CHECK(disks.LetterOfRoot(root) + "\\" == root);
    CHECK(disks.LetterOfRoot("e:\\") == "E:");
    platform::VolumeLocation location;
    CHECK(disks.LocateVolume("C:", location));
    CHECK(location.DiskNumber == 0 && location.PartitionNumber == 1);
    CHECK(!disks.LocateVolume("Z:", location));
    CHECK(!disks.FileSystemName("C:").empty());
    CHECK(disks.FileSystemName("C:\\") == disks.FileSystemName("C:"));
    disks.VolumeLabel("C:");
    CHECK(disks.VolumeLabel("Q:").empty() && disks.FileSystemName("Q:").empty());
    CHECK(disks.OpenVolume("5:", false) == nullptr);
}

// An open disk tells the identity its number's probe found. Wine tells the descriptor
// (without a serial) and the number of its one disk but not its length: what it cannot
// tell stays unknown on both sides alike, as the note shows.
void CheckFingerprint(platform::DiskSystem& disks) {
    platform::DiskFacts facts;
    CHECK(disks.ProbeDisk(0, facts));
    auto disk = disks.OpenDisk(0, false);
    CHECK(disk != nullptr);
    if (!disk) return;
    platform::DiskFingerprint opened = disk->Fingerprint();
    CHECK(opened.LengthBytes == facts.LengthBytes);
    CHECK(opened.Descriptor.has_value() == facts.Descriptor.has_value());
    if (opened.Descriptor && facts.Descriptor)
        CHECK(opened.Descriptor->ProductId == facts.Descriptor->ProductId &&
              opened.Descriptor->SerialNumber == facts.Descriptor->SerialNumber);
    CHECK(opened.Signature == (facts.Layout ? facts.Layout->Signature : 0));
    CHECK(!opened.DiskNumber || *opened.DiskNumber == 0);
    std::printf("note: disk 0 tells length %lld, descriptor %s, serial \"%s\", number %s\n",
                (long long)opened.LengthBytes, opened.Descriptor ? "yes" : "no",
                opened.Descriptor ? opened.Descriptor->SerialNumber.c_str() : "",
                opened.DiskNumber ? std::to_string(*opened.DiskNumber).c_str() : "none");
}

void CheckLetterRules(platform::DiskSystem& disks) {
    CHECK(disks.VolumeName("e:") == "E");
    CHECK(disks.VolumeName("E") == "E");
    CHECK(disks.VolumeName("5:").empty());
    CHECK(disks.VolumeName("").empty());
    CHECK(disks.VolumeName("\xC3\xA9:").empty());
    CHECK(disks.IsSystemVolume("C"));
    CHECK(!disks.IsSystemVolume("D"));
    CHECK(!disks.IsSystemVolume(""));
    // Wine runs programs as an administrator.
    CHECK(disks.WriteRightsProblem().empty());
}

void CheckImageFile() {
    std::string path = TempPath("disks_check.img");
    DeleteFileW(platform::Widen(path).c_str());
    std::string error;
    const int64_t size = 5 * kGiB;
    CHECK(platform::CreateImageFile(path, size, error));
    WIN32_FILE_ATTRIBUTE_DATA attributes{};
    CHECK(GetFileAttributesExW(platform::Widen(path).c_str(), GetFileExInfoStandard, &attributes));
    CHECK((int64_t(attributes.nFileSizeHigh) << 32 | attributes.nFileSizeLow) == size);
    CHECK(!platform::CreateImageFile(path, size, error) && !error.empty());
    error.clear();
    CHECK(!platform::CreateImageFile(TempPath("disks_check_empty.img"), 0, error) &&
          !error.empty());

    // Past 4 GiB, where a 32-bit position would wrap.
    auto image = platform::win32::OpenDiskHandle(platform::Widen(path), true);
    CHECK(image != nullptr);
    if (image) {
        std::vector<char> sector(512), back(512);
        for (size_t i = 0; i < sector.size(); ++i) sector[i] = char(i * 7);
        CHECK(image->WriteAt(4 * kGiB + 512, sector.data(), 512) == 512);
        CHECK(image->ReadAt(4 * kGiB + 512, back.data(), 512) == 512);
        CHECK(back == sector);
        CHECK(image->ReadAt(512, back.data(), 512) == 512);
        CHECK(std::all_of(back.begin(), back.end(), [](char c) { return c == 0; }));
        CHECK(image->WriteAt(0, sector.data(), 0) == 0);
        CHECK(image->WriteAt(-512, sector.data(), 512) == 0);
        CHECK(image->ReadAt(size - 256, back.data(), 512) == 256);
        // A file refuses the layout refresh; the handle stays usable.
        image->UpdateProperties();
        CHECK(image->ReadAt(4 * kGiB + 512, back.data(), 512) == 512 && back == sector);
        image.reset();
    }
    CHECK(platform::win32::OpenDiskHandle(platform::Widen(path + ".missing"), false) == nullptr);
    DeleteFileW(platform::Widen(path).c_str());

    CHECK(platform::AttachImage(path, error).empty() && !error.empty());
    CHECK(platform::WatchDeviceChanges([] {}) == nullptr);
}

void CheckPieces() {
    std::vector<std::pair<int64_t, DWORD>> calls;
    auto all = [&](int64_t done, DWORD bytes) {
        calls.emplace_back(done, bytes);
        return bytes;
    };
    CHECK(platform::win32::TransferInPieces(10, 4, all) == 10);
    CHECK((calls == std::vector<std::pair<int64_t, DWORD>>{{0, 4}, {4, 4}, {8, 2}}));
    auto shortSecond = [&](int64_t done, DWORD bytes) { return done == 0 ? bytes : DWORD(1); };
    CHECK(platform::win32::TransferInPieces(10, 4, shortSecond) == 5);
}

void PutDword(std::vector<uint8_t>& buffer, size_t offset, DWORD value) {
    std::memcpy(buffer.data() + offset, &value, sizeof value);
}

void CheckDescriptorDecoding() {
    std::vector<uint8_t> buffer(platform::win32::kDescriptorBufferSize);
    PutDword(buffer, offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType), 0x00010007);
    PutDword(buffer, offsetof(STORAGE_DEVICE_DESCRIPTOR, VendorIdOffset), 100);
    PutDword(buffer, offsetof(STORAGE_DEVICE_DESCRIPTOR, ProductIdOffset), 200);
    PutDword(buffer, offsetof(STORAGE_DEVICE_DESCRIPTOR, SerialNumberOffset), 300);
    std::memcpy(&buffer[100], "  Acme \x01\xE9 ", 10);
    std::memcpy(&buffer[200], " Stick  ", 8);
    std::memcpy(&buffer[300], "0019E06B ", 9);
    auto descriptor = platform::win32::ParseDescriptor(buffer);
    CHECK(descriptor.BusType == 7);
    CHECK(descriptor.VendorId == "Acme ??");
    CHECK(descriptor.ProductId == "Stick");
    CHECK(descriptor.SerialNumber == "0019E06B");

    // Offsets past the buffer, and a text running into its end.
    PutDword(buffer, offsetof(STORAGE_DEVICE_DESCRIPTOR, VendorIdOffset), 5000);
    PutDword(buffer, offsetof(STORAGE_DEVICE_DESCRIPTOR, ProductIdOffset),
             DWORD(buffer.size() - 3));
    std::memcpy(&buffer[buffer.size() - 3], "XYZ", 3);
    descriptor = platform::win32::ParseDescriptor(buffer);
    CHECK(descriptor.VendorId.empty());
    CHECK(descriptor.ProductId == "XYZ");
    CHECK(platform::win32::ParseDescriptor(std::span(buffer).first(12)).ProductId.empty());
}

void CheckLayoutDecoding() {
    std::array<uint8_t, platform::win32::kLayoutBufferSize> buffer{};
    DRIVE_LAYOUT_INFORMATION header{};
    header.PartitionCount = 4;
    header.Signature = 0xA1B2C3D4;
    std::memcpy(buffer.data(), &header, 8);
    PARTITION_INFORMATION last{};
    last.StartingOffset.QuadPart = 5 * kGiB;
    last.PartitionLength.QuadPart = 3 * kGiB;
    last.HiddenSectors = 2048;
    last.PartitionNumber = 4;
    last.PartitionType = 0x0C;
    last.BootIndicator = 1;
    std::memcpy(&buffer[8 + 3 * sizeof last], &last, sizeof last);
    auto layout = platform::win32::ParseLayout(buffer);
    CHECK(layout.PartitionCount == 4 && layout.Signature == 0xA1B2C3D4);
    CHECK(layout.Entries[0].PartitionLength == 0);
    const auto& entry = layout.Entries[3];
    CHECK(entry.StartingOffset == 5 * kGiB && entry.PartitionLength == 3 * kGiB);
    CHECK(entry.HiddenSectors == 2048 && entry.PartitionNumber == 4);
    CHECK(entry.PartitionType == 0x0C && entry.BootIndicator == 1);
}

// The DOS device names of the letters C to Z, "" where a letter has none.
std::vector<std::wstring> DosDevices() {
    std::vector<std::wstring> devices;
    for (wchar_t letter = L'C'; letter <= L'Z'; ++letter) {
        const wchar_t drive[] = {letter, L':', L'\0'};
        wchar_t target[MAX_PATH] = L"";
        if (!QueryDosDeviceW(drive, target, MAX_PATH)) target[0] = L'\0';
        devices.emplace_back(target);
    }
    return devices;
}

void CheckDriveLetters(platform::DiskSystem& disks) {
    using platform::win32::FirstFreeLetter;
    CHECK(FirstFreeLetter(0) == L'C');
    CHECK(FirstFreeLetter(0x3) == L'C');
    CHECK(FirstFreeLetter(0x1C) == L'F');
    CHECK(FirstFreeLetter(0x03FFFFFC) == std::nullopt);
    CHECK(FirstFreeLetter(0xFDFFFFFF) == L'Z');
    CHECK(platform::win32::FirstPartitionPath(12) == L"\\device\\harddisk12\\partition1");

    // Wine defines the letter for the missing disk's partition but finds no volume there:
    // the temporary definition must not outlive the attempt.
    std::vector<std::wstring> devices = DosDevices();
    DWORD drives = GetLogicalDrives();
    CHECK(disks.AssignDriveLetter(49).empty());
    CHECK(DosDevices() == devices);
    CHECK(GetLogicalDrives() == drives);

    int64_t slept = 0;
    platform::SetClock(std::make_unique<CountingClock>(slept));
    CHECK(disks.RemountVolume("Q:"));
    // Wine cannot delete mount points: C: keeps its own and nothing is waited for.
    CHECK(disks.RemountVolume("C:") && slept == 0);
    CHECK(GetLogicalDrives() == drives && !disks.FileSystemName("C:").empty());
    platform::SetClock(nullptr);
}

void CheckEjection(platform::DiskSystem& disks) {
    using platform::win32::InterfaceClassFor;
    CHECK(InterfaceClassFor(DRIVE_REMOVABLE, false) == InterfaceClassFor(DRIVE_FIXED, true));
    CHECK(InterfaceClassFor(DRIVE_REMOVABLE, true) != InterfaceClassFor(DRIVE_REMOVABLE, false));
    CHECK(InterfaceClassFor(DRIVE_REMOVABLE, true)->Data1 == 0x53F56311);
    CHECK(InterfaceClassFor(DRIVE_FIXED, false)->Data1 == 0x53F56307);
    CHECK(InterfaceClassFor(DRIVE_CDROM, false)->Data1 == 0x53F56308);
    CHECK(InterfaceClassFor(DRIVE_REMOTE, false) == nullptr);
    CHECK(InterfaceClassFor(DRIVE_RAMDISK, false) == nullptr);

    int64_t slept = 0;
    platform::SetClock(std::make_unique<CountingClock>(slept));
    CHECK(!disks.EjectDisk(0, ""));
    CHECK(!disks.EjectDisk(0, "e: F:"));
    CHECK(!disks.EjectDisk(0, "5:"));
    // Wine lists no disk interfaces: C:'s disk is found nowhere and no request is made.
    CHECK(!disks.EjectDisk(0, "C:") && slept == 0);
    platform::SetClock(nullptr);
}

}  // namespace

int main() {
    auto disks = platform::CreateNativeDiskSystem();
    CheckSystemQueries(*disks);
    CheckFingerprint(*disks);
    CheckLetterRules(*disks);
    CheckImageFile();
    CheckPieces();
    CheckDescriptorDecoding();
    CheckLayoutDecoding();
    CheckDriveLetters(*disks);
    CheckEjection(*disks);
    return check::Summary();
}
