// The drive list of the main window and the disk chosen in it.
#pragma once

#include <string>

#include "disk/disk_record.h"

namespace disk {

// The record copied from the chosen line when an operation starts.
extern DiskRecord SelectedDisk;

// Enumerates the disks and rebuilds the list; selects its first line.
int RefreshDriveList();
// Copies the record of the selected line into SelectedDisk; false when none matches.
bool GetSelectedDisk();

// Enumerates again and copies the fresh record of SelectedDisk's disk over it (whole
// disk selected); the drive list itself stays as it is. False when the disk is gone.
bool RereadSelectedDisk();

std::string DiskLine(const DiskRecord& disk);
std::string PartitionLine(const PartitionRecord& partition, int slot);

}  // namespace disk
