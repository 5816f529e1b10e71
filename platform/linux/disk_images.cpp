// Image files attached as loop devices.
#include "platform/linux/disk_images.h"

#include <fcntl.h>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/disks.h"
#include "platform/linux/disk_images.h"
#include "platform/linux/partition_nodes.h"
#include "platform/linux/program_volumes.h"
#include "platform/linux/sysfs.h"
#include "platform/linux/unique_fd.h"

namespace platform {
namespace {

using linuxos::UniqueFd;

// What failed, and why as errno tells.
std::string Failure(const std::string& what) { return what + ": " + std::strerror(errno); }

// Partition scanning on, and no automatic detach: the disk must outlive the command that
// attached it.
loop_info64 LoopInfo(const std::string& path) {
    loop_info64 info{};
    info.lo_flags = LO_FLAGS_PARTSCAN;
    std::strncpy(reinterpret_cast<char*>(info.lo_file_name), path.c_str(), LO_NAME_SIZE - 1);
    return info;
}

// Kernels before 5.8 lack LOOP_CONFIGURE; the two older requests do the same in two steps.
bool Configure(int loop, int image, const std::string& path) {
    loop_config config{};
    config.fd = uint32_t(image);
    config.info = LoopInfo(path);
    if (ioctl(loop, LOOP_CONFIGURE, &config) == 0) return true;
    if (errno != EINVAL && errno != ENOTTY) return false;
    if (ioctl(loop, LOOP_SET_FD, image) != 0) return false;
    if (ioctl(loop, LOOP_SET_STATUS64, &config.info) == 0) return true;
    ioctl(loop, LOOP_CLR_FD);
    return false;
}

// Another program may take the free device first (EBUSY); then the next free one is tried.
std::string AttachToFreeDevice(int image, const std::string& path, std::string& error) {
    UniqueFd control(open("/dev/loop-control", O_RDWR | O_CLOEXEC));
    if (!control) {
        error = Failure("/dev/loop-control");
        return "";
    }
    for (int tries = 0; tries < 8; ++tries) {
        int number = ioctl(control.get(), LOOP_CTL_GET_FREE);
        std::string name = "loop" + std::to_string(number);
        UniqueFd loop;
        if (number >= 0) loop = UniqueFd(open(("/dev/" + name).c_str(), O_RDWR | O_CLOEXEC));
        if (loop && Configure(loop.get(), image, path)) return name;
        if (!loop || errno != EBUSY) {
            error = Failure(number < 0 ? "No free loop device" : "/dev/" + name);
            return "";
        }
    }
    error = "No free loop device";
    return "";
}

}  // namespace

namespace linuxos {

bool DetachLoopDevice(const std::string& disk, std::string& error) {
    ReleaseProgramVolumes(disk);
    UniqueFd fd(open(("/dev/" + disk).c_str(), O_RDONLY | O_CLOEXEC));
    if (fd) {
        RemoveKernelPartitions(fd.get(), disk);
        if (ioctl(fd.get(), LOOP_CLR_FD) == 0) return true;
    }
    error = Failure("/dev/" + disk);
    return false;
}

}  // namespace linuxos

bool CreateImageFile(const std::string& path, int64_t bytes, std::string& error) {
    if (bytes <= 0) {
        error = "The image size must be above zero";
        return false;
    }
    UniqueFd fd(open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (fd && ftruncate(fd.get(), off_t(bytes)) == 0) return true;
    error = Failure(path);
    if (fd) unlink(path.c_str());  // only the file made here
    return false;
}

std::string AttachImage(const std::string& path, std::string& error) {
    std::error_code ignored;
    std::string absolute = std::filesystem::absolute(path, ignored).string();
    UniqueFd image(open(absolute.c_str(), O_RDWR | O_CLOEXEC));
    if (!image) {
        error = Failure(path);
        return "";
    }
    std::string disk = AttachToFreeDevice(image.get(), absolute, error);
    if (disk.empty()) return "";
    linuxos::SyncPartitionNodes(disk);  // an image without partitions is fine too
    return "/dev/" + disk;
}

bool DetachImage(const std::string& device, std::string& error) {
    std::string disk = std::filesystem::path(device).filename().string();
    if (disk.starts_with("loop") && std::filesystem::exists(linuxos::DiskFolder(disk)))
        return linuxos::DetachLoopDevice(disk, error);
    error = device + " is no loop device";
    return false;
}

}  // namespace platform
