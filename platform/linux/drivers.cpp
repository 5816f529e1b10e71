#include "platform/drivers.h"

#include <sys/utsname.h>

#include "platform/linux/registry_store.h"

namespace platform {

std::string DriversFolder() {
    std::string store = RegistryStoreFile();
    size_t slash = store.rfind('/');
    if (slash == std::string::npos) return {};
    return store.substr(0, slash + 1) + "drivers/";
}

// The kernel's own hfsplus driver reads them.
bool SystemReadsHfs() { return true; }

bool Is64BitSystem() {
    utsname system{};
    if (uname(&system) != 0) return sizeof(void*) == 8;
    return std::string(system.machine).find("64") != std::string::npos;
}

}  // namespace platform
