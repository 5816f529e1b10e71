#pragma once
#include <cstdint>
namespace recovery {
void OpenDownloadToolWindow();
// entryIndex: position in RecoveryList.
void DownloadRecoveryHD(int32_t entryIndex);
void UpdateRecoveryList(int32_t argument);
// Index of the entry selected in the tool's list, -1 when none.
int32_t SelectedRecoveryEntry();
}  // namespace recovery
