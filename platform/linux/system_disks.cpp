#include "platform/linux/system_disks.h"

#include <sys/stat.h>

#include <algorithm>
#include <fstream>

#include "platform/linux/sysfs.h"

namespace platform::linuxos {
namespace {

// A swap partition is the device itself; a swap file lies on the device of its folder.
std::optional<dev_t> SwapDevice(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return std::nullopt;
    return S_ISBLK(info.st_mode) ? info.st_rdev : info.st_dev;
}

std::vector<dev_t> ActiveSwaps() {
    std::vector<dev_t> devices;
    std::ifstream in("/proc/swaps");
    std::string line;
    std::getline(in, line);  // the heading
    while (std::getline(in, line)) {
        std::string path = UnescapeOctal(line.substr(0, line.find_first_of(" \t")));
        if (auto device = SwapDevice(path)) devices.push_back(*device);
    }
    return devices;
}

void AddDisksOf(dev_t device, std::vector<std::string>& disks) {
    for (const std::string& disk : UnderlyingDisks(device))
        if (std::find(disks.begin(), disks.end(), disk) == disks.end()) disks.push_back(disk);
}

}  // namespace

bool IsSystemMountPoint(const std::string& path) {
    for (const char* system : {"/", "/boot", "/boot/efi", "/usr", "/var"})
        if (path == system) return true;
    return false;
}

std::vector<std::string> SystemDisks(const std::vector<Mount>& mounts) {
    std::vector<std::string> disks;
    for (const Mount& mount : mounts)
        if (IsSystemMountPoint(mount.mountPoint)) AddDisksOf(mount.device, disks);
    for (dev_t swap : ActiveSwaps()) AddDisksOf(swap, disks);
    return disks;
}

}  // namespace platform::linuxos
