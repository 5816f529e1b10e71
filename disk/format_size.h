// Byte counts as text with B, KB, MB, GB or TB.
#pragma once

#include <cstdint>
#include <string>

namespace disk {

// GB and TB carry one more digit than asked for.
std::string FormatSize(int64_t bytes, uint8_t decimals);

}  // namespace disk
