// Linked into a copy of stickforge-cli.exe for the Wine tests: Wine shows no disk the
// program lists, so disk 0 is a stand-in here, a fixed disk whose first partition is the
// system drive C:. At the end of the run a line on stderr tells whether anything wrote to
// it, locked it or dismounted it.
#include <cstdio>
#include <string>

#include "tests/fake_disks.h"

namespace {

constexpr size_t kDiskBytes = 1 << 20;

class StandInDisk {
public:
    StandInDisk() : disks_(*test::FakeDiskSystem::Install()) {
        disks_.disks[0] = test::DiskFacts(11, 500107862016, {{2048, 976771072, 0x07, true}});
        disks_.volumes.push_back({"C:\\", true, {0, 1}, "SYSTEM", "NTFS"});
        disks_.devices["disk0"].bytes.assign(kDiskBytes, 'S');
        disks_.devices["volume C:"].bytes.assign(kDiskBytes, 'V');
    }
    ~StandInDisk() {
        const test::FakeDevice& disk = disks_.devices["disk0"];
        const test::FakeDevice& volume = disks_.devices["volume C:"];
        bool untouched = disk.bytes == std::string(kDiskBytes, 'S') &&
                         volume.bytes == std::string(kDiskBytes, 'V') && disks_.formats.empty();
        std::fprintf(stderr, "stand-in disk 0: %s, %s, %d locks\n",
                     untouched ? "untouched" : "written",
                     disk.dismounted || volume.dismounted ? "dismounted" : "mounted",
                     disk.lockCalls + volume.lockCalls);
    }

private:
    test::FakeDiskSystem& disks_;
};

StandInDisk standIn;

}  // namespace
