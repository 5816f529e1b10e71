#include "platform/linux/device_users.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace platform::linuxos {
namespace {

using DeviceSet = std::vector<dev_t>;

bool On(const DeviceSet& devices, dev_t device) {
    return std::find(devices.begin(), devices.end(), device) != devices.end();
}

bool PathOn(const DeviceSet& devices, const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && On(devices, info.st_dev);
}

bool AnyFdOn(const DeviceSet& devices, const std::string& process) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(process + "/fd", error))
        if (PathOn(devices, entry.path().string())) return true;
    return false;
}

// maps lines: address, permissions, offset, device as hex "major:minor", inode, path.
bool AnyMappingOn(const DeviceSet& devices, const std::string& process) {
    std::ifstream maps(process + "/maps");
    std::string line, address, permissions, offset, device;
    while (std::getline(maps, line)) {
        std::istringstream fields(line);
        unsigned major = 0, minor = 0;
        char colon = 0;
        if (!(fields >> address >> permissions >> offset >> std::hex >> major >> colon >> minor))
            continue;
        if ((major || minor) && On(devices, makedev(major, minor))) return true;
    }
    return false;
}

bool ProcessUses(const DeviceSet& devices, const std::string& process) {
    return PathOn(devices, process + "/cwd") || PathOn(devices, process + "/root") ||
           AnyFdOn(devices, process) || AnyMappingOn(devices, process);
}

bool IsProcessFolder(const fs::directory_entry& entry) {
    std::string name = entry.path().filename().string();
    return std::all_of(name.begin(), name.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
}

bool AnyNodeOf(const DeviceSet& devices, const std::string& process) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(process + "/fd", error)) {
        struct stat info {};
        if (stat(entry.path().c_str(), &info) == 0 && S_ISBLK(info.st_mode) &&
            On(devices, info.st_rdev))
            return true;
    }
    return false;
}

// Whether `uses` holds for some process; `self` says whether this one counts.
template <class Uses>
bool AnyProcess(bool self, Uses uses) {
    std::string own = std::to_string(getpid());
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc", error)) {
        if (!IsProcessFolder(entry) || (!self && entry.path().filename() == own)) continue;
        if (uses(entry.path().string())) return true;
    }
    return false;
}

}  // namespace

bool VolumeInUse(const std::vector<std::string>& mountPoints) {
    DeviceSet devices;
    for (const std::string& mountPoint : mountPoints) {
        struct stat info {};
        if (stat(mountPoint.c_str(), &info) == 0) devices.push_back(info.st_dev);
    }
    if (devices.empty()) return false;
    return AnyProcess(true,
                      [&](const std::string& process) { return ProcessUses(devices, process); });
}

bool DeviceOpenElsewhere(const std::vector<dev_t>& devices) {
    return AnyProcess(false,
                      [&](const std::string& process) { return AnyNodeOf(devices, process); });
}

// A FUSE driver may hold its node a moment after its volume is gone.
bool WaitUntilReleased(const std::vector<dev_t>& devices) {
    for (int tries = 0; tries < 100; ++tries) {
        if (!DeviceOpenElsewhere(devices)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

}  // namespace platform::linuxos
