#include "disk/disk_system.h"

namespace disk {
namespace {

std::unique_ptr<platform::DiskSystem>& Installed() {
    static std::unique_ptr<platform::DiskSystem> disks = platform::CreateNativeDiskSystem();
    return disks;
}

}  // namespace

platform::DiskSystem& Disks() { return *Installed(); }

void SetDiskSystem(std::unique_ptr<platform::DiskSystem> disks) {
    Installed() = disks ? std::move(disks) : platform::CreateNativeDiskSystem();
}

}  // namespace disk
