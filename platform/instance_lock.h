// The single-instance guard: one running copy per executable file name.
#pragma once

#include <memory>
#include <string>

namespace platform {

class InstanceLock {
public:
    virtual ~InstanceLock() = default;
};

// Takes the guard named after name. Sets alreadyRunning when another process holds it;
// the returned object then holds nothing and only has to be dropped.
std::unique_ptr<InstanceLock> AcquireInstanceLock(const std::string& name, bool& alreadyRunning);

}  // namespace platform
