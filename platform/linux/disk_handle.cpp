#include "platform/linux/disk_handle.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/linux/device_users.h"
#include "platform/linux/mounts.h"
#include "platform/linux/unique_fd.h"

namespace platform::linuxos {
namespace {

// Repeats `step(done, bytes left, device offset)` until everything moved or the device
// ends. A failure reports nothing moved, as the caller cannot tell what landed.
template <class Step>
int64_t Transfer(int64_t offset, int64_t bytes, Step step) {
    if (offset < 0 || bytes <= 0) return 0;
    int64_t done = 0;
    while (done < bytes) {
        ssize_t moved = step(done, size_t(bytes - done), off_t(offset + done));
        if (moved < 0 && errno == EINTR) continue;
        if (moved < 0) return 0;
        if (moved == 0) break;
        done += moved;
    }
    return done;
}

std::vector<std::string> MountPointsOf(dev_t device) {
    std::vector<std::string> points;
    for (const Mount& mount : ReadMounts())
        if (mount.device == device) points.push_back(mount.mountPoint);
    return points;
}

class BlockDeviceHandle : public DiskHandle {
public:
    BlockDeviceHandle(UniqueFd fd, dev_t device, bool volume)
        : fd_(std::move(fd)), device_(device), volume_(volume) {}
    ~BlockDeviceHandle() override { Unlock(); }

    int64_t WriteAt(int64_t offset, const void* data, int64_t bytes) override {
        auto from = static_cast<const char*>(data);
        return Transfer(offset, bytes, [&](int64_t done, size_t left, off_t at) {
            return pwrite(fd_.get(), from + done, left, at);
        });
    }
    int64_t ReadAt(int64_t offset, void* data, int64_t bytes) override {
        auto to = static_cast<char*>(data);
        return Transfer(offset, bytes, [&](int64_t done, size_t left, off_t at) {
            return pread(fd_.get(), to + done, left, at);
        });
    }
    int64_t Length() override {
        uint64_t bytes = 0;
        return ioctl(fd_.get(), BLKGETSIZE64, &bytes) == 0 ? int64_t(bytes) : 0;
    }
    bool Lock() override {
        if (volume_ && VolumeInUse(MountPointsOf(device_))) return false;
        return flock(fd_.get(), LOCK_EX | LOCK_NB) == 0;
    }
    bool Dismount() override { return UnmountDevices({device_}); }
    bool Unlock() override { return flock(fd_.get(), LOCK_UN) == 0; }

private:
    UniqueFd fd_;
    dev_t device_;
    bool volume_;
};

}  // namespace

std::unique_ptr<DiskHandle> OpenBlockDevice(const std::string& node, bool write, bool volume) {
    UniqueFd fd(open(node.c_str(), (write ? O_RDWR : O_RDONLY) | O_CLOEXEC));
    struct stat info {};
    if (!fd || fstat(fd.get(), &info) != 0 || !S_ISBLK(info.st_mode)) return nullptr;
    return std::make_unique<BlockDeviceHandle>(std::move(fd), info.st_rdev, volume);
}

}  // namespace platform::linuxos
