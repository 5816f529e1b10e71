// Installing and removing the HFS+ read-only file-system drivers: their service keys and
// the driver files in the system's drivers folder.
#pragma once

#include <cstdint>
#include <span>

#include "core/outcome.h"

namespace tools {

// Asks first; 1 when installed or declined, 0 on failure.
int32_t InstallHfsDrivers();
// 1 when both service keys were deleted, else 0.
int32_t RemoveHfsDrivers();
// 1 when at least one driver has both its file and its service key; enables exactly one
// of the install and uninstall menu items.
int32_t UpdateDriverMenu();

// The Tools menu entries and the hfs-drivers verb. Where the system reads HFS+ by itself
// (Linux) they say so in an Info box and change nothing (Refused); elsewhere they run the
// install, which asks first, or the removal.
core::Outcome RunHfsDriverInstall();
core::Outcome RunHfsDriverRemoval();

// The install and removal proper with their outcome; the install from a given driver pack.
core::Outcome InstallHfsDriversFrom(std::span<const uint8_t> pack);
core::Outcome RemoveHfsDriversOutcome();
// The pack this system takes (64-bit or 32-bit drivers); empty when the build had none.
std::span<const uint8_t> HfsDriverPack();

}  // namespace tools
