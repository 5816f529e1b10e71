#pragma once
#include <cstdint>
namespace app {
void BackupPartition(int32_t argument);
void RestorePartition(int32_t argument);
}  // namespace app
