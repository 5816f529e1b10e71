// Partition backup into an image file and restore of an image file onto a partition.
#pragma once

#include <cstdint>
#include <vector>

#include "core/outcome.h"
#include "ui/toolkit.h"

namespace imaging {

struct ImagingOptions {
    bool verify = false;  // read back what was written and compare it with its source
};

// The selected partition into an image file the user names.
core::Outcome Backup(const ImagingOptions& options = {});
// An image file the user names onto the selected partition; its MBR entry becomes an HFS+
// partition (type 0xAF) of the image's size.
core::Outcome Restore(const ImagingOptions& options = {});

// The entry points the main loop starts on worker threads.
void BackupPartition(int32_t argument);
void RestorePartition(int32_t argument);

// The requesters' pattern list and the one preselected.
const std::vector<ui::FileFilter>& ImageFileFilters();
constexpr int kImageFilterIndex = 2;

}  // namespace imaging
