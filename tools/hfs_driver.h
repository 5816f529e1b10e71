#pragma once
namespace tools {
void InstallHfsDrivers();
void UninstallHfsDrivers();
// Enables exactly one of the install and uninstall menu items.
void UpdateHfsDriverMenu();
}  // namespace tools
