// The Configuration window: the settings the format and the downloads use, each applied
// in memory at once and saved when the window closes; and the local Clover repository
// it offers archives from.
#pragma once

#include "ui/toolkit.h"

namespace app {

// Opens the window centred over the main window, which stays disabled while it is open.
void OpenConfigurationWindow();
// A control event of the window.
void HandleConfigurationEvent(const ui::Event& event);
// OK and the close box: re-enable the main window, close, save the settings.
void CloseConfigurationWindow();

// Rescans the repository and refills the local choice; nothing when the window is closed.
void RefreshLocalArchives();
// Makes the archive named by the local choice the one the "Local" source installs.
void ShowLocalArchive();

// The boot partition size the field's text stands for: its leading digits, 64 when
// below 32 or above 2000000.
int32_t BootPartitionSizeFromText(const std::string& text);

}  // namespace app
