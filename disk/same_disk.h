// Whether an opened disk is the disk the user confirmed: a number names whichever disk the
// system gives it now, and after a stick is pulled another one can get its number.
#pragma once

#include "disk/disk_record.h"
#include "platform/disks.h"

namespace disk {

// What the record holds of the disk's identity.
platform::DiskFingerprint FingerprintOf(const DiskRecord& disk);

enum class SignatureCheck { Compared, Ignored };  // Ignored once the program wrote a new one

// True when both name the same device: the same length, the same bus and identification
// texts (or neither has them) and, where the system numbers disks, the same number.
bool SameDisk(const platform::DiskFingerprint& confirmed, const platform::DiskFingerprint& opened,
              SignatureCheck signature);

}  // namespace disk
