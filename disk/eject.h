#pragma once

namespace disk {

// Asks the system to release the disk of the selected line; true when it accepted.
bool EjectSelectedDrive();

}  // namespace disk
