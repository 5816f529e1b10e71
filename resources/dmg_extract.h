#pragma once
#include <cstdint>
namespace resources {
void ExtractHfsFromDmg(int32_t argument);
}  // namespace resources
