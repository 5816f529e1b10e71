#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "platform/linux/instance_lock_folder.h"

namespace platform {
namespace linuxos {

bool OwnedAlone(const std::string& folder, uid_t user) {
    struct stat info {};
    return lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == user &&
           (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

std::string InstanceLockFolder(uid_t user, const char* runtimeFolder,
                               const std::string& temporary) {
    if (user == 0 && OwnedAlone("/run", 0)) return "/run";
    if (user != 0 && runtimeFolder && *runtimeFolder == '/' && OwnedAlone(runtimeFolder, user))
        return runtimeFolder;
    if (temporary.empty()) return "";
    std::string own = temporary + "/stickforge-" + std::to_string(user);
    mkdir(own.c_str(), 0700);  // an existing folder is judged as it is
    return OwnedAlone(own, user) ? own : "";
}

}  // namespace linuxos

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

// STICKFORGE_LOCK_FOLDER keeps the guard of the copies that name it apart from all others,
// as the tests do that run side by side.
std::string LockFolder() {
    if (const char* own = getenv("STICKFORGE_LOCK_FOLDER"); own && *own) {
        mkdir(own, 0700);  // an existing folder is judged as it is
        return linuxos::OwnedAlone(own, geteuid()) ? own : "";
    }
    std::error_code error;
    std::string temporary = std::filesystem::temp_directory_path(error).string();
    return linuxos::InstanceLockFolder(geteuid(), getenv("XDG_RUNTIME_DIR"), temporary);
}

}  // namespace

// Without a safe folder there is no guard rather than no program.
std::unique_ptr<InstanceLock> AcquireInstanceLock(const std::string& name, bool& alreadyRunning) {
    alreadyRunning = false;
    std::string folder = LockFolder();
    if (folder.empty()) return std::make_unique<FileLock>(-1);
    std::string path = folder + "/" + name + ".lock";
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return std::make_unique<FileLock>(-1);
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        alreadyRunning = true;
        close(fd);
        return std::make_unique<FileLock>(-1);
    }
    return std::make_unique<FileLock>(fd);
}

}  // namespace platform
