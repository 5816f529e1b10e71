#pragma once
#include <cstdint>
namespace prepare {
// Wipes, partitions and formats the selected drive; installs the data set when asked.
void FormatAndInstall(int32_t installDataSet);
}  // namespace prepare
