// A packed resource decoded into a TEMP file of the temporary folder.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace resources {

// The path of a new TEMP file in TempFolder (made first where there is none) holding the
// resource's ZIP archive; "" on any failure. A CRC mismatch and a short write are shown
// in a box titled "Error"; the other failures are silent.
std::string UnpackInternalMemoryToTempFile(std::span<const uint8_t> resource);

}  // namespace resources
