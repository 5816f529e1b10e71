#pragma once
#include <cstdint>
namespace download {
void CheckLatestRevision(int32_t argument);
}  // namespace download
