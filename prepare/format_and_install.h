#pragma once
#include <cstdint>
namespace app {
// Wipes, partitions and formats the selected drive; installs the data set when asked.
void FormatAndInstall(int32_t installDataSet);
}  // namespace app
