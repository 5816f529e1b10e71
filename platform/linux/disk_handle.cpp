#include "platform/linux/disk_handle.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include "platform/linux/block_node.h"
#include "platform/linux/device_descriptor.h"
#include "platform/linux/device_users.h"
#include "platform/linux/mbr.h"
#include "platform/linux/mounts.h"
#include "platform/linux/partition_nodes.h"
#include "platform/linux/sysfs.h"
#include "platform/linux/unique_fd.h"
#include "platform/linux/volume_mount.h"

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

// O_DIRECT on or off for one open descriptor; false when the system refuses.
bool SetDirect(int fd, bool direct) {
    int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, direct ? flags | O_DIRECT : flags & ~O_DIRECT) == 0;
}

bool IsDirect(int fd) {
    int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && (flags & O_DIRECT) != 0;
}

std::vector<Mount> MountsOf(dev_t device) {
    std::vector<Mount> mounts;
    for (const Mount& mount : ReadMounts())
        if (mount.device == device) mounts.push_back(mount);
    return mounts;
}

std::vector<std::string> MountPointsOf(const std::vector<Mount>& mounts) {
    std::vector<std::string> points;
    for (const Mount& mount : mounts) points.push_back(mount.mountPoint);
    return points;
}

std::vector<dev_t> PartitionDevices(const std::string& disk) {
    std::vector<dev_t> devices;
    for (const KernelPartition& partition : KernelPartitions(disk))
        devices.push_back(partition.device);
    return devices;
}

// A partition in use that is mounted nowhere here (held open exclusively, mounted in
// another mount namespace) cannot be let go by dismounting volumes.
bool PartitionHeldElsewhere(const std::string& disk) {
    std::vector<Mount> mounts = ReadMounts();
    for (const KernelPartition& partition : KernelPartitions(disk)) {
        bool mounted = std::any_of(mounts.begin(), mounts.end(), [&](const Mount& mount) {
            return mount.device == partition.device;
        });
        if (mounted) continue;
        UniqueFd probe(open(("/dev/" + partition.name).c_str(), O_RDONLY | O_EXCL | O_CLOEXEC));
        if (!probe && errno == EBUSY) return true;
    }
    return false;
}

class BlockDeviceHandle : public DiskHandle {
public:
    BlockDeviceHandle(UniqueFd fd, std::string node, dev_t device, bool write, bool volume)
        : fd_(std::move(fd)),
          node_(std::move(node)),
          device_(device),
          write_(write),
          volume_(volume) {}
    ~BlockDeviceHandle() override { Unlock(); }

    int64_t WriteAt(int64_t offset, const void* data, int64_t bytes) override {
        int fd = WritingFd();
        if (fd < 0 || offset < 0 || bytes <= 0) return 0;
        written_ = true;
        auto from = static_cast<const char*>(data);
        return Transfer(offset, bytes, [&](int64_t done, size_t left, off_t at) {
            return Retried(fd, [&] { return pwrite(fd, from + done, left, at); });
        });
    }
    int64_t ReadAt(int64_t offset, void* data, int64_t bytes) override {
        auto to = static_cast<char*>(data);
        return Transfer(offset, bytes, [&](int64_t done, size_t left, off_t at) {
            return Retried(fd_.get(), [&] { return pread(fd_.get(), to + done, left, at); });
        });
    }
    int64_t Length() override {
        uint64_t bytes = 0;
        return ioctl(fd_.get(), BLKGETSIZE64, &bytes) == 0 ? int64_t(bytes) : 0;
    }
    // Linux numbers disks itself (DiskNumbers), so the system tells no number here.
    DiskFingerprint Fingerprint() override {
        DiskFingerprint fingerprint;
        fingerprint.LengthBytes = Length();
        auto disk = volume_ ? std::nullopt : DescribeBlockDevice(device_);
        if (disk) fingerprint.Descriptor = DescribeDisk(disk->name);
        int sectorSize = 0;
        std::array<uint8_t, kMbrBytes> sector{};
        if (ioctl(fd_.get(), BLKSSZGET, &sectorSize) == 0 && sectorSize > 0 &&
            ReadAt(0, sector.data(), int64_t(sector.size())) == int64_t(sector.size()))
            if (auto layout = DecodeMbr(sector, uint32_t(sectorSize)))
                fingerprint.Signature = layout->Signature;
        return fingerprint;
    }
    // A file-system driver writes its cached boot sector back when it lets go of the
    // volume, over whatever the program wrote meanwhile: a locked volume is unmounted, and
    // mounted the same way again at Unlock unless it was dismounted.
    bool Lock() override {
        if (!volume_) {
            auto disk = write_ ? DescribeBlockDevice(device_) : std::nullopt;
            if (disk && !exclusive_ && PartitionHeldElsewhere(disk->name)) return false;
            return flock(fd_.get(), LOCK_EX | LOCK_NB) == 0;
        }
        std::vector<Mount> mounts = MountsOf(device_);
        if (VolumeInUse(MountPointsOf(mounts)) || flock(fd_.get(), LOCK_EX | LOCK_NB) != 0)
            return false;
        if (!UnmountDevices({device_})) {
            Unlock();
            return false;
        }
        WaitUntilReleased({device_});
        lockedMounts_ = std::move(mounts);
        return true;
    }
    bool Dismount() override {
        lockedMounts_.clear();
        return UnmountDevices({device_});
    }
    bool Unlock() override {
        EndWriting();
        for (const Mount& mount : lockedMounts_) MountAgain(mount, node_);
        lockedMounts_.clear();
        return flock(fd_.get(), LOCK_UN) == 0;
    }
    // A descriptor that refuses stays as it was: cached transfers work as well, and one
    // left direct takes the cache for each transfer it refuses.
    void UseDirectTransfers(bool direct) override {
        direct_ = direct;
        ApplyDirect(direct);
    }
    // Ends a rewrite too: the partitions may be mounted again.
    bool Flush() override {
        bool flushed = FlushBlockDevice(fd_.get());
        DropOtherViews();
        written_ = false;
        exclusive_.Reset();
        return flushed;
    }
    // A partition node reaches every sector of its partition.
    void AllowExtendedAccess() override {}
    // A volume handle has no table of its own to take in. Taking in a new table ends the
    // rewrite: the partitions are to be mounted and formatted again.
    void UpdateProperties() override {
        auto disk = volume_ ? std::nullopt : DescribeBlockDevice(device_);
        if (!disk) return;
        EndWriting();
        WaitUntilReleased(PartitionDevices(disk->name));  // FUSE drivers of dismounted volumes
        SyncPartitionNodes(disk->name);
    }

private:
    // A transfer the direct path refuses (buffer, offset or length not aligned as the
    // device wants, such as a short tail) goes through the cache; the next ones take the
    // direct path again. Any other failure is the caller's to report.
    template <class Move>
    ssize_t Retried(int fd, Move move) {
        ssize_t moved = move();
        if (moved >= 0 || errno != EINVAL || !IsDirect(fd)) return moved;
        if (!SetDirect(fd, false)) return -1;
        moved = move();
        int error = errno;
        SetDirect(fd, direct_);
        errno = error;
        return moved;
    }

    // O_DIRECT on or off for every descriptor data moves through.
    void ApplyDirect(bool direct) {
        SetDirect(fd_.get(), direct);
        if (exclusive_) SetDirect(exclusive_.get(), direct);
    }

    // A disk and its partitions are devices of their own, each with its own cache: what
    // went through one node is read through the others once their old copies are gone.
    void DropOtherViews() {
        auto self = DescribeBlockDevice(device_);
        if (!self) return;
        std::vector<std::string> others = {self->disk};
        for (const KernelPartition& partition : KernelPartitions(self->disk))
            others.push_back(partition.name);
        for (const std::string& name : others) {
            if (name == self->name) continue;
            UniqueFd other(open(("/dev/" + name).c_str(), O_RDONLY | O_CLOEXEC));
            if (other) ioctl(other.get(), BLKFLSBUF, 0);
        }
    }

    // A disk is rewritten only through an exclusive open of it, which the kernel refuses
    // while any of its partitions is mounted or held: a volume that was not let go keeps
    // its file system, and nothing is written. A volume is written while its lock keeps
    // it unmounted. -1 when the handle may not write.
    int WritingFd() {
        if (!write_) return -1;
        if (volume_) return fd_.get();
        if (!exclusive_) {
            exclusive_ = OpenExclusive(node_);
            if (exclusive_ && direct_) SetDirect(exclusive_.get(), true);
        }
        return exclusive_ ? exclusive_.get() : -1;
    }

    // What was written reaches the device before anyone is told it is done.
    void EndWriting() {
        if (written_) Flush();
        exclusive_.Reset();
    }

    UniqueFd fd_, exclusive_;
    std::string node_;
    dev_t device_;
    bool write_, volume_;
    bool written_ = false;
    bool direct_ = false;              // bulk transfers asked to pass the cache
    std::vector<Mount> lockedMounts_;  // taken away by Lock, given back by Unlock
};

}  // namespace

std::unique_ptr<DiskHandle> OpenBlockDevice(const std::string& node, bool write, bool volume) {
    UniqueFd fd(open(node.c_str(), (write ? O_RDWR : O_RDONLY) | O_CLOEXEC));
    struct stat info {};
    if (!fd || fstat(fd.get(), &info) != 0 || !S_ISBLK(info.st_mode)) return nullptr;
    return std::make_unique<BlockDeviceHandle>(std::move(fd), node, info.st_rdev, write, volume);
}

}  // namespace platform::linuxos
