#pragma once
namespace app {
int RefreshDriveList();
bool GetSelectedDisk();
}  // namespace app
