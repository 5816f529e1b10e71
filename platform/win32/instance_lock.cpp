#include "platform/instance_lock.h"

#include <windows.h>

#include "platform/win32/wide.h"

namespace platform {
namespace {

// Windows removes the named semaphore when its last handle closes, however the process ends.
class SemaphoreLock : public InstanceLock {
public:
    explicit SemaphoreLock(HANDLE semaphore) : semaphore_(semaphore) {}
    ~SemaphoreLock() override {
        if (semaphore_) CloseHandle(semaphore_);
    }
    SemaphoreLock(const SemaphoreLock&) = delete;
    SemaphoreLock& operator=(const SemaphoreLock&) = delete;

private:
    HANDLE semaphore_;
};

}  // namespace

std::unique_ptr<InstanceLock> AcquireInstanceLock(const std::string& name, bool& alreadyRunning) {
    HANDLE semaphore = CreateSemaphoreW(nullptr, 0, 1, Widen(name).c_str());
    alreadyRunning = semaphore && GetLastError() == ERROR_ALREADY_EXISTS;
    auto lock = std::make_unique<SemaphoreLock>(semaphore);
    // The other copy's handle keeps its guard; ours is closed as the lock goes out of scope.
    if (alreadyRunning) return std::make_unique<SemaphoreLock>(nullptr);
    return lock;
}

}  // namespace platform
