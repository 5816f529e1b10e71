#pragma once
namespace app {
void EjectSelectedDrive();
}  // namespace app
