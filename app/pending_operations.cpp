// Entry points of operations that are reached from the main loop but not built yet.
// Each leaves this file for its own subsystem when its workflow is written.
#include "app/configuration.h"
#include "download/latest_revision.h"
#include "recovery/download_tool.h"
#include "resources/dmg_extract.h"
#include "tools/calculator.h"
#include "tools/hfs_driver.h"

namespace app {

void OpenDownloadToolWindow() {}
void DownloadRecoveryHD(int32_t) {}
void UpdateRecoveryList(int32_t) {}
int32_t SelectedRecoveryEntry() { return -1; }
void ExtractHfsFromDmg(int32_t) {}
void OpenConfigurationWindow() {}
void HandleConfigurationEvent(const ui::Event&) {}
void RefreshLocalArchives() {}
void CheckLatestRevision(int32_t) {}
void OpenCalculatorWindow() {}
void RefreshCalculator() {}
void ToggleCalculatorBit(int) {}
void SetCalculatorInfo(const std::string&, const std::string&) {}
void InstallHfsDrivers() {}
void UninstallHfsDrivers() {}
void UpdateHfsDriverMenu() {}

}  // namespace app
