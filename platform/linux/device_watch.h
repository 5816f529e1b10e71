// The kernel's uevent broadcast as the device watch reads it.
#pragma once

#include <string_view>

namespace platform::linuxos {

// Whether a uevent message ("ACTION@DEVPATH", then NUL-separated KEY=VALUE fields) can
// change the drive list: a block device came or went, or a disk's medium changed. Other
// "change" events follow every write to a disk and every probe of it.
bool ChangesDriveList(std::string_view message);

}  // namespace platform::linuxos
