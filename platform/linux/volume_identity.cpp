#include "platform/linux/volume_identity.h"

#include <blkid/blkid.h>

#include <map>
#include <memory>
#include <type_traits>

namespace platform::linuxos {
namespace {

struct ProbeDeleter {
    void operator()(blkid_probe probe) const { blkid_free_probe(probe); }
};
using Probe = std::unique_ptr<std::remove_pointer_t<blkid_probe>, ProbeDeleter>;

std::string Value(blkid_probe probe, const char* name) {
    const char* value = nullptr;
    if (blkid_probe_lookup_value(probe, name, &value, nullptr) != 0 || !value) return "";
    return value;
}

std::string TrimSpaces(const std::string& text) {
    size_t first = text.find_first_not_of(' '), last = text.find_last_not_of(' ');
    return first == std::string::npos ? "" : text.substr(first, last - first + 1);
}

std::string WindowsName(const std::string& type) {
    static const std::map<std::string, std::string> kNames = {
        {"exfat", "exFAT"}, {"ntfs", "NTFS"}, {"ntfs3", "NTFS"}, {"udf", "UDF"}, {"msdos", "FAT"}};
    auto it = kNames.find(type);
    return it == kNames.end() ? type : it->second;
}

// A probe that found exactly one file system on the node, or nullptr.
Probe ProbeSuperblock(const std::string& node) {
    Probe probe(blkid_new_probe_from_filename(node.c_str()));
    if (!probe) return nullptr;
    blkid_probe_enable_superblocks(probe.get(), 1);
    blkid_probe_set_superblocks_flags(
        probe.get(), BLKID_SUBLKS_LABEL | BLKID_SUBLKS_TYPE | BLKID_SUBLKS_VERSION);
    // RAID members keep their signatures near the end of the device; reading there costs
    // more than the rest of the probe, and a partition of a stick is no RAID member.
    blkid_probe_filter_superblocks_usage(probe.get(), BLKID_FLTR_NOTIN, BLKID_USAGE_RAID);
    if (blkid_do_safeprobe(probe.get()) != 0) return nullptr;
    return probe;
}

}  // namespace

std::string ProbedFileSystemName(const std::string& type, const std::string& version) {
    if (type == "vfat") return version == "FAT32" ? "FAT32" : "FAT";
    return WindowsName(type);
}

std::string MountedFileSystemName(const std::string& type) {
    if (type == "vfat") return "FAT32";
    if (type == "fuseblk" || type == "fuse") return "";  // the driver's name is not shown
    return WindowsName(type);
}

VolumeIdentity IdentifyVolume(const std::string& node, const std::string& mountedType) {
    VolumeIdentity fallback{"", MountedFileSystemName(mountedType)};
    Probe probe = ProbeSuperblock(node);
    if (!probe) return fallback;
    return {TrimSpaces(Value(probe.get(), "LABEL")),
            ProbedFileSystemName(Value(probe.get(), "TYPE"), Value(probe.get(), "VERSION"))};
}

std::string ProbedType(const std::string& node) {
    Probe probe = ProbeSuperblock(node);
    return probe ? Value(probe.get(), "TYPE") : "";
}

}  // namespace platform::linuxos
