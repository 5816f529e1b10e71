#include "disk/eject.h"

#include "core/ids.h"
#include "disk/disk_record.h"
#include "disk/disk_system.h"
#include "ui/toolkit.h"

namespace disk {
namespace {

// The disk of the selected line, whichever of its lines was chosen.
const DiskRecord* SelectedLineDisk() {
    int selected = ui::UI().SelectedItem(core::DriveTree);
    if (selected == -1) return nullptr;
    bool partitionLine = ui::UI().ItemLevel(core::DriveTree, selected) == 1;
    for (const DiskRecord& disk : DiskList) {
        if (!partitionLine && disk.ListRow == selected) return &disk;
        if (!partitionLine) continue;
        for (int slot = 0; slot < kListedSlots; ++slot)
            if (disk.Partitions[slot].ListRow == selected && disk.Partitions[slot].InUse())
                return &disk;
    }
    return nullptr;
}

}  // namespace

bool EjectSelectedDrive() {
    const DiskRecord* disk = SelectedLineDisk();
    if (!disk || disk->Letters.empty()) return false;
    return Disks().EjectDisk(disk->DiskNumber, disk->Letters);
}

}  // namespace disk
