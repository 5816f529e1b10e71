// The MBR type byte the format service leaves on a partition it formatted, as Windows'
// service sets it for the file system.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/linux/sysfs.h"

namespace platform::linuxos {

// FAT32 with LBA (0x0C); exFAT and NTFS as installable file systems (0x07); UDF leaves
// the table as it stands (nullopt).
std::optional<uint8_t> FormattedPartitionType(const std::string& fileSystem);

// Sets the type byte of the partition's entry in its disk's MBR and flushes it to the
// disk. True when the entry holds the type afterwards, also when it did before, and for
// a device no MBR entry describes (a whole disk, a logical partition); false when the
// disk could not be read or written.
bool SetPartitionType(const BlockDevice& partition, uint8_t type);

}  // namespace platform::linuxos
