#pragma once
#include <cstdint>

#include "core/outcome.h"

namespace prepare {
// Wipes, partitions and formats the selected drive; installs the data set when asked.
core::Outcome FormatAndInstall(int32_t installDataSet);
}  // namespace prepare
