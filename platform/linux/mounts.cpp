#include "platform/linux/mounts.h"

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "platform/linux/sysfs.h"

namespace platform::linuxos {
namespace {

bool IsOctalEscape(const std::string& field, size_t at) {
    if (field[at] != '\\' || at + 3 >= field.size()) return false;
    for (size_t i = at + 1; i <= at + 3; ++i)
        if (field[i] < '0' || field[i] > '7') return false;
    return true;
}

}  // namespace

std::string UnescapeOctal(const std::string& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (!IsOctalEscape(field, i)) {
            out += field[i];
            continue;
        }
        out += char((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
        i += 3;
    }
    return out;
}

namespace {

std::optional<Mount> ParseLine(const std::string& line) {
    std::istringstream in(line);
    std::string id, parent, device, root, mountPoint, field;
    Mount mount;
    if (!(in >> id >> parent >> device >> root >> mountPoint >> mount.options)) return std::nullopt;
    while (in >> field && field != "-") {
    }  // optional fields
    if (!(in >> mount.fsType >> mount.source)) return std::nullopt;
    in >> mount.superOptions;
    auto number = ParseDeviceNumber(device);
    if (!number) return std::nullopt;
    mount.device = *number;
    mount.mountPoint = UnescapeOctal(mountPoint);
    mount.source = UnescapeOctal(mount.source);
    return mount;
}

// Some file systems (btrfs) show an anonymous device number; their source names the node.
void ResolveAnonymous(Mount& mount) {
    struct stat node {};
    if (major(mount.device) != 0 || !mount.source.starts_with("/dev/")) return;
    if (stat(mount.source.c_str(), &node) == 0 && S_ISBLK(node.st_mode))
        mount.device = node.st_rdev;
}

}  // namespace

std::vector<Mount> ParseMountInfo(const std::string& text) {
    std::vector<Mount> mounts;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (auto mount = ParseLine(line)) mounts.push_back(*mount);
    return mounts;
}

std::vector<Mount> ReadMounts() {
    std::ifstream in("/proc/self/mountinfo");
    std::stringstream text;
    text << in.rdbuf();
    std::vector<Mount> mounts = ParseMountInfo(text.str());
    for (Mount& mount : mounts) ResolveAnonymous(mount);
    return mounts;
}

bool UnmountDevices(const std::vector<dev_t>& devices) {
    auto ours = [&](const Mount& mount) {
        return std::find(devices.begin(), devices.end(), mount.device) != devices.end();
    };
    std::vector<Mount> mounts = ReadMounts();
    for (auto it = mounts.rbegin(); it != mounts.rend(); ++it)
        if (ours(*it)) umount2(it->mountPoint.c_str(), 0);  // a busy one stays: checked below
    mounts = ReadMounts();
    return std::none_of(mounts.begin(), mounts.end(), ours);
}

}  // namespace platform::linuxos
