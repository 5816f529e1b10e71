#include "disk/raw_access.h"

#include <cctype>
#include <limits>

#include "core/ids.h"
#include "core/progress.h"
#include "disk/disk_system.h"
#include "disk/drive_list.h"
#include "platform/clock.h"
#include "ui/toolkit.h"

namespace disk {

std::atomic<int64_t> HighResFrequency{0};

namespace {

constexpr int kVolumeLockTries = 20;
constexpr int64_t kVolumeLockPauseMs = 500;

DiskHandlePtr Refuse(const std::string& status) {
    core::DrawStatus(status);
    ui::UI().MessageBox("Error", "Sorry, operation not permitted!\nYou selected a System Drive.",
                        ui::Icon::Warning, ui::Buttons::Ok);
    return nullptr;
}

// The name the refusal shows: the volume's own, else what the caller passed.
std::string ShownVolume(const std::string& letter, const std::string& volume) {
    if (!volume.empty()) return volume;
    std::string first = letter.substr(0, 1);
    if (!first.empty()) first[0] = char(std::toupper(static_cast<unsigned char>(first[0])));
    return first;
}

bool LockWithRetries(platform::DiskHandle& handle) {
    for (int attempt = 1; attempt <= kVolumeLockTries; ++attempt) {
        if (handle.Lock()) return true;
        platform::SystemClock().SleepMs(kVolumeLockPauseMs);
    }
    return false;
}

}  // namespace

DiskHandlePtr OpenDiskDevice(int32_t diskNumber, const std::string& letter, bool write, bool lock) {
    platform::DiskSystem& disks = Disks();
    if (write && HoldsSystemDrive(SelectedDisk))
        return Refuse("WARNING - write access to System Drive disabled!");
    if (letter.empty()) {
        DiskHandlePtr handle = disks.OpenDisk(diskNumber, write);
        if (handle && lock && !handle->Lock()) return nullptr;
        return handle;
    }
    std::string volume = disks.VolumeName(letter);
    if (volume.empty() || disks.IsSystemVolume(volume))
        return Refuse("WARNING - access to Disk " + ShownVolume(letter, volume) + ": disabled!");
    DiskHandlePtr handle = disks.OpenVolume(letter, write);
    if (handle && lock && !LockWithRetries(*handle)) return nullptr;
    return handle;
}

bool DismountVolume(platform::DiskHandle* handle) { return handle && handle->Dismount(); }

bool UnlockVolume(platform::DiskHandle* handle) { return handle && handle->Unlock(); }

namespace {

// False for positions and lengths that cannot be addressed.
bool ValidTransfer(platform::DiskHandle* handle, int64_t sectorSize, int64_t firstSector,
                   int64_t count) {
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    return handle && sectorSize > 0 && firstSector >= 0 && count > 0 &&
           firstSector <= kMax / sectorSize && count <= kMax / sectorSize;
}

}  // namespace

int64_t WriteSectors(platform::DiskHandle* handle, int64_t sectorSize, int64_t firstSector,
                     int64_t count, const void* buffer) {
    if (!ValidTransfer(handle, sectorSize, firstSector, count)) return 0;
    return handle->WriteAt(firstSector * sectorSize, buffer, count * sectorSize);
}

int64_t ReadSectors(platform::DiskHandle* handle, int64_t sectorSize, int64_t firstSector,
                    int64_t count, void* buffer) {
    if (!ValidTransfer(handle, sectorSize, firstSector, count)) return 0;
    return handle->ReadAt(firstSector * sectorSize, buffer, count * sectorSize);
}

int64_t ReadHighResCounter() {
    if (HighResFrequency == 0) HighResFrequency = platform::QueryCounterFrequency();
    return platform::QueryCounter();
}

int64_t MulDiv64(int64_t a, int64_t b, int64_t c) {
    if (c == 0) return -1;
    // The product of a byte count and a nanosecond frequency passes 64 bits at 9 GB.
    __int128 quotient = __int128(a) * b / c;
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    if (quotient > kMax) return kMax;
    if (quotient < -kMax) return -kMax;
    return int64_t(quotient);
}

}  // namespace disk
