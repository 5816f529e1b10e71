#include "platform/linux/device_descriptor.h"

#include <filesystem>

#include "platform/linux/sysfs.h"

namespace fs = std::filesystem;

namespace platform::linuxos {
namespace {

// STORAGE_BUS_TYPE values.
constexpr int16_t kBusUnknown = 0, kBusScsi = 1, kBusUsb = 7, kBusSata = 11, kBusSd = 12,
                  kBusVirtual = 14, kBusFileBackedVirtual = 15, kBusNvme = 17;

// Told by the device's place in the sysfs tree. A USB stick also sits below a SCSI host,
// so USB is looked for first. NVMe gets its Windows value, which has no name in the bus
// table; libata disks count as SATA and MMC-bus cards as SD, as Windows reports them.
int16_t BusTypeOfPath(const std::string& path) {
    struct Rule {
        const char* part;
        int16_t bus;
    };
    constexpr Rule kRules[] = {{"/usb", kBusUsb},        {"/nvme", kBusNvme},
                               {"/mmc", kBusSd},         {"/ata", kBusSata},
                               {"/virtio", kBusVirtual}, {"/virtual/", kBusVirtual},
                               {"/host", kBusScsi}};
    for (const Rule& rule : kRules)
        if (path.find(rule.part) != std::string::npos) return rule.bus;
    return kBusUnknown;
}

// Trimmed of blanks; bytes outside printable ASCII become '?', as the texts are single-byte.
std::string CleanText(const std::string& text) {
    size_t first = text.find_first_not_of(" \t"), last = text.find_last_not_of(" \t");
    if (first == std::string::npos) return "";
    std::string out = text.substr(first, last - first + 1);
    for (char& c : out)
        if (auto byte = static_cast<unsigned char>(c); byte < 0x20 || byte > 0x7E) c = '?';
    return out;
}

std::string DeviceText(const std::string& disk, const char* attribute) {
    return CleanText(ReadAttribute(DiskFolder(disk) + "/device/" + attribute).value_or(""));
}

// Some buses give a numeric vendor id ("0x1af4") rather than a name; that is no name.
std::string VendorText(const std::string& disk) {
    std::string vendor = DeviceText(disk, "vendor");
    return vendor.starts_with("0x") ? "" : vendor;
}

// SCSI, USB and NVMe disks have a model; MMC cards only a name.
std::string ProductText(const std::string& disk) {
    std::string model = DeviceText(disk, "model");
    return model.empty() ? DeviceText(disk, "name") : model;
}

// The image's file name tells attached images apart.
std::string BackingFileName(const std::string& disk) {
    std::string path = ReadAttribute(DiskFolder(disk) + "/loop/backing_file").value_or("");
    return CleanText(fs::path(path).filename().string());
}

}  // namespace

bool IsFileBacked(const std::string& disk) {
    return fs::exists(DiskFolder(disk) + "/loop/backing_file");
}

DeviceDescriptor DescribeDisk(const std::string& disk) {
    DeviceDescriptor descriptor;
    if (IsFileBacked(disk)) {
        descriptor.BusType = kBusFileBackedVirtual;
        descriptor.ProductId = BackingFileName(disk);
        return descriptor;
    }
    std::error_code error;
    descriptor.BusType = BusTypeOfPath(fs::canonical(DiskFolder(disk), error).string());
    descriptor.VendorId = VendorText(disk);
    descriptor.ProductId = ProductText(disk);
    return descriptor;
}

}  // namespace platform::linuxos
