// Safe removal of a disk through the device tree: the parent of the disk's device node
// (for a stick, its USB mass-storage device) is asked to prepare for removal.
#pragma once

#include <windows.h>

#include <string>

namespace platform::win32 {

// letters: the disk's drive letters as listed ("E: F:"); the first one names the disk.
bool EjectDisk(const std::string& letters);

// The device interface class disks of a drive type are listed under; nullptr for drive
// types that are not ejected.
const GUID* InterfaceClassFor(UINT driveType, bool floppy);

}  // namespace platform::win32
