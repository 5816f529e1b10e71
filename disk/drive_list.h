// The drive list of the main window and the disk chosen in it.
#pragma once

#include <string>

#include "disk/disk_record.h"

namespace app {

// The record copied from the chosen line when an operation starts.
extern DiskRecord SelectedDisk;

// Enumerates the disks and rebuilds the list; selects its first line.
int RefreshDriveList();
// Copies the record of the selected line into SelectedDisk; false when none matches.
bool GetSelectedDisk();

std::string DiskLine(const DiskRecord& disk);
std::string PartitionLine(const PartitionRecord& partition, int slot);

}  // namespace app
