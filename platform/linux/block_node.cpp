#include "platform/linux/block_node.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace platform::linuxos {
namespace {

constexpr int kOpenTries = 100;  // 20 ms apart

}  // namespace

UniqueFd OpenExclusive(const std::string& node) {
    for (int tries = 0;; ++tries) {
        UniqueFd fd(open(node.c_str(), O_RDWR | O_EXCL | O_CLOEXEC));
        if (fd || errno != EBUSY || tries == kOpenTries) return fd;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool FlushBlockDevice(int fd) { return fsync(fd) == 0 && ioctl(fd, BLKFLSBUF, 0) == 0; }

bool FlushBlockNode(const std::string& node) {
    UniqueFd fd(open(node.c_str(), O_RDONLY | O_CLOEXEC));
    return fd && FlushBlockDevice(fd.get());
}

}  // namespace platform::linuxos
