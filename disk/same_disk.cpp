#include "disk/same_disk.h"

namespace disk {
namespace {

bool SameDescriptor(const platform::DeviceDescriptor& a, const platform::DeviceDescriptor& b) {
    return a.BusType == b.BusType && a.VendorId == b.VendorId && a.ProductId == b.ProductId &&
           a.SerialNumber == b.SerialNumber;
}

}  // namespace

platform::DiskFingerprint FingerprintOf(const DiskRecord& disk) {
    platform::DiskFingerprint fingerprint;
    fingerprint.LengthBytes = disk.LengthBytes;
    if (disk.HasDescriptor)
        fingerprint.Descriptor = platform::DeviceDescriptor{disk.BusTypeCode, disk.VendorId,
                                                            disk.ProductId, disk.SerialNumber};
    fingerprint.Signature = disk.Signature;
    fingerprint.DiskNumber = disk.DiskNumber;
    return fingerprint;
}

bool SameDisk(const platform::DiskFingerprint& confirmed, const platform::DiskFingerprint& opened,
              SignatureCheck signature) {
    if (confirmed.LengthBytes != opened.LengthBytes) return false;
    if (confirmed.Descriptor.has_value() != opened.Descriptor.has_value()) return false;
    if (confirmed.Descriptor && !SameDescriptor(*confirmed.Descriptor, *opened.Descriptor))
        return false;
    if (signature == SignatureCheck::Compared && confirmed.Signature != opened.Signature)
        return false;
    return !opened.DiskNumber || opened.DiskNumber == confirmed.DiskNumber;
}

}  // namespace disk
