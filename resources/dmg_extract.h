#pragma once
#include <cstdint>
namespace app {
void ExtractHfsFromDmg(int32_t argument);
}  // namespace app
