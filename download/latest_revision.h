#pragma once
#include <cstdint>
namespace app {
void CheckLatestRevision(int32_t argument);
}  // namespace app
