// The packed resources in the program's data (layout in resource_format.h), made by the
// build: the archiver, the two scripts that drive it and, where the build was given
// them, the HFS+ drivers. A resource the build had nothing for is empty.
#pragma once

#include <cstdint>
#include <span>

namespace resources {

extern const std::span<const uint8_t> SevenZipPack;
extern const std::span<const uint8_t> HfsDrivers32Pack;
extern const std::span<const uint8_t> HfsDrivers64Pack;
extern const std::span<const uint8_t> CloverScriptPack;
extern const std::span<const uint8_t> RecoveryScriptPack;

// Names of the unpacked archiver and scripts: "7z.exe", "Unpack_Clover_ISO.bat" and
// "Unpack_RecHDUpdate_pkg.bat" on Windows; "7zz", "unpack_clover_iso.sh" and
// "unpack_rechdupdate_pkg.sh" elsewhere.
extern const char* const ArchiverFileName;
extern const char* const CloverScriptFileName;
extern const char* const RecoveryScriptFileName;

}  // namespace resources
