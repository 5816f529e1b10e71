// Preparing a disk for unplugging.
#pragma once

#include <string>

namespace platform::linuxos {

// Unmounts the disk and its partitions, waits until no other program holds them open,
// flushes the disk, then lets the kernel drop the device:
// a loop device lets go of its image; a SCSI or USB disk is deleted, and a USB stick's
// port is also switched off where the kernel allows. Other buses have no such request:
// false. False too when any step fails.
bool EjectBlockDisk(const std::string& disk);

}  // namespace platform::linuxos
