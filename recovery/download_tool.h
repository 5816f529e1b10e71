// The Download Tool window: the recovery list, "Update List" and "OK" to download.
#pragma once

#include <cstdint>
#include <string>

namespace recovery {

// "Download Tool - Stickforge " + VersionText + " by Ormund".
std::string DownloadToolTitle();

// Opens the window beside the main window, which stays disabled while it is open.
void OpenDownloadToolWindow();

// Index of the entry selected in the tool's list, -1 when none.
int32_t SelectedRecoveryEntry();

}  // namespace recovery
