#include "platform/disks.h"

namespace platform {

// The main window hears of device changes through WM_DEVICECHANGE.
std::unique_ptr<DeviceWatch> WatchDeviceChanges(std::function<void()>) { return nullptr; }

}  // namespace platform
