#pragma once

namespace app {

// Asks the system to release the disk of the selected line; true when it accepted.
bool EjectSelectedDrive();

}  // namespace app
