#pragma once
#include <cstdint>

#include "ui/toolkit.h"
namespace app {
void OpenConfigurationWindow();
void HandleConfigurationEvent(const ui::Event& event);
int32_t ScanLocalRepository();
void RefreshLocalArchives();
}  // namespace app
