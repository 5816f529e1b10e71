#include "platform/linux/volume_mount.h"

#include <sys/mount.h>

#include <map>
#include <sstream>

#include "platform/linux/child_process.h"
#include "platform/linux/device_users.h"
#include "platform/linux/volume_identity.h"

namespace platform::linuxos {
namespace {

// Mount options that are flags of the mount point rather than of the file system.
const std::map<std::string, unsigned long>& FlagOptions() {
    static const std::map<std::string, unsigned long> kFlags = {
        {"ro", MS_RDONLY},        {"nosuid", MS_NOSUID},   {"nodev", MS_NODEV},
        {"noexec", MS_NOEXEC},    {"noatime", MS_NOATIME}, {"nodiratime", MS_NODIRATIME},
        {"relatime", MS_RELATIME}};
    return kFlags;
}

std::vector<std::string> SplitOptions(const std::string& options) {
    std::vector<std::string> parts;
    std::istringstream in(options);
    for (std::string part; std::getline(in, part, ',');)
        if (!part.empty()) parts.push_back(part);
    return parts;
}

unsigned long FlagsOf(const std::string& options) {
    unsigned long flags = 0;
    for (const std::string& option : SplitOptions(options)) {
        auto it = FlagOptions().find(option);
        if (it != FlagOptions().end()) flags |= it->second;
    }
    return flags;
}

// The file system's own options, without the rw/ro that the flags carry.
std::string DataOf(const std::string& superOptions) {
    std::string data;
    for (const std::string& option : SplitOptions(superOptions)) {
        if (option == "rw" || option == "ro") continue;
        data += (data.empty() ? "" : ",") + option;
    }
    return data;
}

bool MountedOn(const std::string& folder) { return MountOn(folder).has_value(); }

bool MountWith(const MountMethod& method, const std::string& node, const std::string& folder,
               bool readOnly) {
    if (!method.kernelType.empty())
        return mount(node.c_str(), folder.c_str(), method.kernelType.c_str(),
                     MS_NOSUID | MS_NODEV | (readOnly ? MS_RDONLY : 0), nullptr) == 0;
    std::vector<std::string> argv = {method.fuseHelper, node, folder};
    if (readOnly) argv.insert(argv.end(), {"-o", "ro"});
    return RunProgram(argv) == 0 && MountedOn(folder);
}

bool IsFuse(const std::string& fsType) { return fsType.starts_with("fuse"); }

}  // namespace

std::vector<MountMethod> MountMethodsFor(const std::string& probedType) {
    if (probedType == "vfat") return {{"vfat", ""}};
    if (probedType == "exfat") return {{"exfat", ""}, {"", "mount.exfat-fuse"}};
    if (probedType == "ntfs") return {{"ntfs3", ""}, {"", "ntfs-3g"}};
    if (probedType == "udf") return {{"udf", ""}};
    return {};
}

bool MountNode(const std::string& node, const std::string& folder) {
    for (const MountMethod& method : MountMethodsFor(ProbedType(node)))
        if (MountWith(method, node, folder, false)) return true;
    return false;
}

bool MountAgain(const Mount& mount, const std::string& node) {
    bool readOnly = (FlagsOf(mount.options) & MS_RDONLY) != 0;
    if (IsFuse(mount.fsType)) {
        for (const MountMethod& method : MountMethodsFor(ProbedType(node)))
            if (!method.fuseHelper.empty() && MountWith(method, node, mount.mountPoint, readOnly))
                return true;
        return false;
    }
    const char* type = mount.fsType.c_str();
    unsigned long flags = FlagsOf(mount.options);
    std::string data = DataOf(mount.superOptions);
    // Options this kernel no longer takes should not cost the volume its mount point.
    return ::mount(node.c_str(), mount.mountPoint.c_str(), type, flags, data.c_str()) == 0 ||
           ::mount(node.c_str(), mount.mountPoint.c_str(), type, flags, nullptr) == 0;
}

std::optional<Mount> MountOn(const std::string& folder) {
    std::optional<Mount> found;
    for (const Mount& mount : ReadMounts())
        if (mount.mountPoint == folder) found = mount;  // of stacked mounts, the visible one
    return found;
}

std::optional<std::string> MountPointOf(dev_t device) {
    for (const Mount& mount : ReadMounts())
        if (mount.device == device) return mount.mountPoint;
    return std::nullopt;
}

bool UnmountFolder(const std::string& folder) {
    auto mount = MountOn(folder);
    if (!mount) return true;
    if (umount2(folder.c_str(), 0) != 0) return false;
    WaitUntilReleased({mount->device});
    return !MountedOn(folder);
}

}  // namespace platform::linuxos
