// Creating the file system on the new volume through the system's format service.
#pragma once

#include <cstdint>
#include <string>

namespace prepare {

// 1 when the format ran to its end without a fatal report and without a cancel, else 0.
int FormatVolume(const std::string& letter, const std::string& fileSystem, const std::string& label,
                 int32_t quick, uint32_t clusterSize);

// Turns one report of the service into the status line and CancelFlag; false stops it.
bool FormatCallback(uint32_t command, uint32_t action, const void* info);

}  // namespace prepare
