// Which /sys/block entries are disks of the program, and in which order they are numbered.
#pragma once

#include <string>
#include <vector>

namespace platform::linuxos {

// The listable disks in natural name order (digit runs compare as numbers, so loop2 comes
// before loop10 and sda before sdb). Left out: hidden devices, empty ones, RAM disks,
// unattached loop devices, optical and floppy drives, and device-mapper and RAID devices,
// whose disks are listed themselves.
std::vector<std::string> ListDisks();

bool NaturalLess(const std::string& a, const std::string& b);

}  // namespace platform::linuxos
