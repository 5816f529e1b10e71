#include "platform/linux/eject.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <filesystem>

#include "platform/linux/device_users.h"
#include "platform/linux/disk_images.h"
#include "platform/linux/mounts.h"
#include "platform/linux/program_volumes.h"
#include "platform/linux/sysfs.h"
#include "platform/linux/unique_fd.h"

namespace fs = std::filesystem;

namespace platform::linuxos {
namespace {

std::vector<dev_t> DevicesOf(const std::string& disk) {
    std::vector<dev_t> devices;
    if (auto text = ReadAttribute(DiskFolder(disk) + "/dev"))
        if (auto device = ParseDeviceNumber(*text)) devices.push_back(*device);
    for (const KernelPartition& partition : KernelPartitions(disk))
        devices.push_back(partition.device);
    return devices;
}

bool Flush(const std::string& disk) {
    UniqueFd fd(open(("/dev/" + disk).c_str(), O_RDONLY | O_CLOEXEC));
    return fd && fsync(fd.get()) == 0 && ioctl(fd.get(), BLKFLSBUF, 0) == 0;
}

// The USB device (not its interface) a disk hangs from, or "" for other buses. Found
// before the disk goes, as its sysfs folder goes with it.
std::string UsbDeviceFolder(const std::string& disk) {
    std::error_code error;
    fs::path folder = fs::canonical(DiskFolder(disk) + "/device", error);
    for (; !error && folder.has_relative_path(); folder = folder.parent_path())
        if (fs::exists(folder / "busnum", error) && fs::exists(folder / "remove", error))
            return folder.string();
    return "";
}

bool Remove(const std::string& disk) {
    std::string usbDevice = UsbDeviceFolder(disk);
    if (!WriteAttribute(DiskFolder(disk) + "/device/delete", "1")) return false;
    if (!usbDevice.empty()) WriteAttribute(usbDevice + "/remove", "1");  // the port may refuse
    return true;
}

}  // namespace

// Anyone holding the disk longer than a FUSE driver does vetoes the ejection.
bool EjectBlockDisk(const std::string& disk) {
    ReleaseProgramVolumes(disk);
    std::vector<dev_t> devices = DevicesOf(disk);
    if (!UnmountDevices(devices) || !WaitUntilReleased(devices) || !Flush(disk)) return false;
    std::string error;
    if (disk.starts_with("loop")) return DetachLoopDevice(disk, error);
    return Remove(disk);
}

}  // namespace platform::linuxos
