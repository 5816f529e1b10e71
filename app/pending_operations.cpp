// Entry points of operations that are reached from the main loop but not built yet.
// Each leaves this file for its own subsystem when its workflow is written.
#include "core/state.h"
#include "recovery/download_tool.h"
#include "resources/dmg_extract.h"

void recovery::OpenDownloadToolWindow() {}
void recovery::DownloadRecoveryHD(int32_t) {}
void recovery::UpdateRecoveryList(int32_t) {}
int32_t recovery::SelectedRecoveryEntry() { return -1; }
void resources::ExtractHfsFromDmg(int32_t) { core::BusyFlag = 0; }
