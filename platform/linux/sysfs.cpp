#include "platform/linux/sysfs.h"

#include <fcntl.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>

#include "platform/linux/unique_fd.h"

namespace fs = std::filesystem;

namespace platform::linuxos {
namespace {

std::optional<int64_t> ToNumber(const std::string& text) {
    int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data()) return std::nullopt;
    return value;
}

std::string ClassFolder(const std::string& name) { return "/sys/class/block/" + name; }

std::optional<dev_t> DeviceOf(const std::string& name) {
    auto text = ReadAttribute(ClassFolder(name) + "/dev");
    return text ? ParseDeviceNumber(*text) : std::nullopt;
}

// A stacked device's own components, or nothing for a plain disk or partition.
std::vector<std::string> Components(const std::string& name) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(ClassFolder(name) + "/slaves", error))
        names.push_back(entry.path().filename().string());
    return names;
}

void CollectDisks(dev_t device, int depth, std::vector<std::string>& disks) {
    auto described = DescribeBlockDevice(device);
    if (!described || depth > 8) return;  // the depth bound guards against odd loops
    std::vector<std::string> components = Components(described->name);
    if (components.empty()) {
        if (std::find(disks.begin(), disks.end(), described->disk) == disks.end())
            disks.push_back(described->disk);
        return;
    }
    for (const std::string& component : components)
        if (auto componentDevice = DeviceOf(component))
            CollectDisks(*componentDevice, depth + 1, disks);
}

}  // namespace

std::optional<std::string> ReadAttribute(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    if (!in || !std::getline(in, line)) return std::nullopt;
    return line;
}

std::optional<int64_t> ReadNumber(const std::string& path) {
    auto text = ReadAttribute(path);
    return text ? ToNumber(*text) : std::nullopt;
}

bool WriteAttribute(const std::string& path, const std::string& value) {
    UniqueFd fd(open(path.c_str(), O_WRONLY | O_CLOEXEC));
    return fd && write(fd.get(), value.data(), value.size()) == ssize_t(value.size());
}

std::string DiskFolder(const std::string& disk) { return "/sys/block/" + disk; }

std::optional<dev_t> ParseDeviceNumber(const std::string& text) {
    size_t colon = text.find(':');
    if (colon == std::string::npos) return std::nullopt;
    auto major = ToNumber(text.substr(0, colon));
    auto minor = ToNumber(text.substr(colon + 1));
    if (!major || !minor || *major < 0 || *minor < 0) return std::nullopt;
    return makedev(unsigned(*major), unsigned(*minor));
}

std::optional<BlockDevice> DescribeBlockDevice(dev_t device) {
    std::string link =
        "/sys/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
    std::error_code error;
    fs::path folder = fs::canonical(link, error);
    if (error) return std::nullopt;
    BlockDevice described;
    described.name = folder.filename().string();
    described.disk = described.name;
    if (auto number = ReadNumber((folder / "partition").string())) {
        described.partition = int32_t(*number);
        described.disk = folder.parent_path().filename().string();
    }
    return described;
}

std::vector<KernelPartition> KernelPartitions(const std::string& disk) {
    std::vector<KernelPartition> partitions;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(DiskFolder(disk), error)) {
        std::string folder = entry.path().string();
        auto number = ReadNumber(folder + "/partition");
        if (!number) continue;
        KernelPartition partition;
        partition.name = entry.path().filename().string();
        partition.number = int32_t(*number);
        partition.start = ReadNumber(folder + "/start").value_or(0);
        partition.size = ReadNumber(folder + "/size").value_or(0);
        partition.device = DeviceOf(partition.name).value_or(0);
        partitions.push_back(partition);
    }
    return partitions;
}

std::vector<std::string> UnderlyingDisks(dev_t device) {
    std::vector<std::string> disks;
    CollectDisks(device, 0, disks);
    return disks;
}

}  // namespace platform::linuxos
