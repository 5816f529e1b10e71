// Raw reads and writes of disks and volumes, behind the guards that keep the system's
// own disk out of reach, and the timing helpers of the transfer rates.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/disks.h"

namespace disk {

using DiskHandlePtr = std::unique_ptr<platform::DiskHandle>;

// An empty letter opens disk diskNumber, otherwise the volume of that letter. Refuses
// (with a message) writing while the selected disk holds the system and any access to
// the system volume; lock retries a busy volume for about 10 s. nullptr on failure.
DiskHandlePtr OpenDiskDevice(int32_t diskNumber, const std::string& letter, bool write, bool lock);
bool DismountVolume(platform::DiskHandle* handle);
bool UnlockVolume(platform::DiskHandle* handle);

// Writes count sectors at firstSector; the bytes written, 0 when nothing could be.
int64_t WriteSectors(platform::DiskHandle* handle, int64_t sectorSize, int64_t firstSector,
                     int64_t count, const void* buffer);

// Reads count sectors at firstSector; the bytes read, 0 when nothing could be.
int64_t ReadSectors(platform::DiskHandle* handle, int64_t sectorSize, int64_t firstSector,
                    int64_t count, void* buffer);

extern std::atomic<int64_t> HighResFrequency;  // counter ticks per second, 0 until used
int64_t ReadHighResCounter();
// a * b / c truncated; -1 when c is 0.
int64_t MulDiv64(int64_t a, int64_t b, int64_t c);

}  // namespace disk
