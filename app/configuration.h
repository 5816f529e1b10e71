#pragma once
#include <cstdint>

#include "ui/toolkit.h"
namespace app {
void OpenConfigurationWindow();
void HandleConfigurationEvent(const ui::Event& event);
void RefreshLocalArchives();
}  // namespace app
