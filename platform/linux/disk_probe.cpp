#include "platform/linux/disk_probe.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <linux/hdreg.h>
#include <sys/ioctl.h>

#include <array>

#include "platform/linux/device_descriptor.h"
#include "platform/linux/mbr.h"
#include "platform/linux/sysfs.h"
#include "platform/linux/unique_fd.h"

namespace platform::linuxos {
namespace {

// MEDIA_TYPE values and GetDriveType codes.
constexpr uint32_t kRemovableMedia = 11, kFixedMedia = 12;
constexpr int32_t kDriveRemovable = 2, kDriveFixed = 3;
// Loop devices and some USB bridges report no geometry; this is what firmware assumes.
constexpr uint32_t kDefaultHeads = 255, kDefaultSectors = 63;

// From sysfs; the device's own answers replace them where it can be opened.
struct DiskBasics {
    int64_t bytes = 0;
    uint32_t sectorSize = 512;
    bool removable = false;
};

std::optional<DiskBasics> ReadBasics(const std::string& disk) {
    std::string folder = DiskFolder(disk);
    auto sectors = ReadNumber(folder + "/size");  // always in 512-byte units
    if (!sectors) return std::nullopt;
    DiskBasics basics;
    basics.bytes = *sectors * 512;
    int64_t sectorSize = ReadNumber(folder + "/queue/logical_block_size").value_or(0);
    if (sectorSize > 0) basics.sectorSize = uint32_t(sectorSize);
    basics.removable = ReadNumber(folder + "/removable").value_or(0) == 1;
    return basics;
}

// The device's own answers where it can be opened.
void AskDevice(int fd, DiskBasics& basics, hd_geometry& chs) {
    uint64_t bytes = 0;
    if (ioctl(fd, BLKGETSIZE64, &bytes) == 0) basics.bytes = int64_t(bytes);
    int sectorSize = 0;
    if (ioctl(fd, BLKSSZGET, &sectorSize) == 0 && sectorSize > 0) basics.sectorSize = sectorSize;
    hd_geometry reported{};
    if (ioctl(fd, HDIO_GETGEO, &reported) == 0 && reported.heads && reported.sectors)
        chs = reported;
}

DiskGeometry MakeGeometry(const DiskBasics& basics, const hd_geometry& chs) {
    DiskGeometry geometry;
    geometry.TracksPerCylinder = chs.heads;
    geometry.SectorsPerTrack = chs.sectors;
    geometry.BytesPerSector = basics.sectorSize;
    geometry.Cylinders = basics.bytes / (int64_t(chs.heads) * chs.sectors * basics.sectorSize);
    geometry.MediaType = basics.removable ? kRemovableMedia : kFixedMedia;
    geometry.DiskSize = basics.bytes;
    return geometry;
}

std::optional<DriveLayout> ReadLayout(int fd, uint32_t sectorSize) {
    std::array<uint8_t, kMbrBytes> sector{};
    if (pread(fd, sector.data(), sector.size(), 0) != ssize_t(sector.size())) return std::nullopt;
    return DecodeMbr(sector, sectorSize);
}

}  // namespace

bool ProbeDiskFacts(const std::string& disk, DiskFacts& facts) {
    auto basics = ReadBasics(disk);
    if (!basics) return false;
    hd_geometry chs{};
    chs.heads = kDefaultHeads;
    chs.sectors = kDefaultSectors;
    UniqueFd fd(open(("/dev/" + disk).c_str(), O_RDONLY | O_CLOEXEC));
    if (fd) AskDevice(fd.get(), *basics, chs);
    facts.LengthBytes = basics->bytes;
    facts.Descriptor = DescribeDisk(disk);
    bool removable = basics->removable && !IsFileBacked(disk);
    facts.DriveTypeCode = removable ? kDriveRemovable : kDriveFixed;
    facts.Geometry = MakeGeometry(*basics, chs);
    if (fd) facts.Layout = ReadLayout(fd.get(), basics->sectorSize);
    return true;
}

}  // namespace platform::linuxos
