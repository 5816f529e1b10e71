// The master boot record read from sector 0, decoded the way the MBR layout query
// reports it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "platform/disks.h"

namespace platform::linuxos {

constexpr size_t kMbrBytes = 512;

// No boot signature: a layout without entries. A GPT protective entry: nullopt, as the
// MBR-only query fails on GPT disks. Entries are taken as written, even past the disk's
// end; partition numbers follow the slots, as the kernel numbers primary partitions.
std::optional<DriveLayout> DecodeMbr(std::span<const uint8_t, kMbrBytes> sector,
                                     uint32_t sectorSize);

bool IsExtendedType(uint8_t type);

}  // namespace platform::linuxos
