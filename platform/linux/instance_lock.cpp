#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace platform {
namespace {

// The kernel drops the lock when the process ends, however it ends.
class FileLock : public InstanceLock {
public:
    explicit FileLock(int fd) : fd_(fd) {}
    ~FileLock() override {
        if (fd_ >= 0) close(fd_);
    }

private:
    int fd_;
};

std::string LockFolder() {
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime && geteuid() != 0) return runtime;
    return "/tmp";
}

}  // namespace

std::unique_ptr<InstanceLock> AcquireInstanceLock(const std::string& name, bool& alreadyRunning) {
    alreadyRunning = false;
    std::string path = LockFolder() + "/" + name + ".lock";
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return std::make_unique<FileLock>(-1);  // no guard rather than no program
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        alreadyRunning = true;
        close(fd);
        return std::make_unique<FileLock>(-1);
    }
    return std::make_unique<FileLock>(fd);
}

}  // namespace platform
