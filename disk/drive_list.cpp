#include "disk/drive_list.h"

#include <mutex>

#include "core/ids.h"
#include "core/progress.h"
#include "core/settings.h"
#include "core/state.h"
#include "disk/disk_system.h"
#include "disk/format_size.h"
#include "ui/toolkit.h"

namespace disk {

DiskRecord SelectedDisk;

namespace {

// A refresh on the main thread may meet a worker's closing refresh. The worker's waits
// for the main thread (every window call does), so the main thread never waits for it:
// it leaves the list to the refresh already running.
std::mutex refreshing;

std::unique_lock<std::mutex> RefreshLock() {
    if (core::OnMainThread()) return std::unique_lock<std::mutex>(refreshing, std::try_to_lock);
    return std::unique_lock<std::mutex>(refreshing);
}

bool IsListed(const DiskRecord& disk) {
    return disk.BusType == "USB" || (core::EnableFixedDisks && disk.DriveTypeCode == 3);
}

void ShowListHint(int items) {
    if (core::BusyFlag != 0) return;
    std::string problem = Disks().WriteRightsProblem();
    if (!problem.empty())
        core::DrawStatus(problem);
    else
        core::DrawStatus(items > 0 ? "Select the USB Flash Drive, please"
                                   : "Insert a USB Flash Drive ...");
}

}  // namespace

std::string DiskLine(const DiskRecord& disk) {
    std::string line = disk.BusType + ": ";
    if (!disk.VendorId.empty()) line += disk.VendorId + " ";
    if (!disk.ProductId.empty()) line += disk.ProductId + " ";
    if (disk.LengthBytes != 0) line += FormatSize(disk.LengthBytes, 0) + " (";
    return line + disk.Letters + ")";
}

std::string PartitionLine(const PartitionRecord& partition, int slot) {
    std::string line =
        "Part" + std::to_string(slot + 1) + ": " + FormatSize(partition.PartitionLength, 0) + " ";
    if (!partition.FsName.empty()) line += partition.FsName + " ";
    if (partition.BootIndicator != 0) line += "Act ";
    line += partition.Label.empty() ? "<NONAME> " : "<" + partition.Label + "> ";
    return line + partition.Letter;
}

int RefreshDriveList() {
    std::unique_lock<std::mutex> lock = RefreshLock();
    if (!lock) return 0;
    int roots = EnumerateDisks();
    ui::Toolkit& ui = ui::UI();
    ui.ClearItems(core::DriveTree);
    int row = -1;
    for (DiskRecord& disk : DiskList) {
        if (!IsListed(disk)) continue;
        ui.AddItem(core::DriveTree, DiskLine(disk), 0);
        disk.ListRow = ++row;
        for (int slot = 0; slot < kListedSlots; ++slot) {
            PartitionRecord& partition = disk.Partitions[slot];
            if (!partition.InUse()) continue;
            ui.AddItem(core::DriveTree, PartitionLine(partition, slot), 1);
            partition.ListRow = ++row;
        }
    }
    ShowListHint(row + 1);
    ui.SelectItem(core::DriveTree, 0);
    return roots;
}

bool RereadSelectedDisk() {
    std::unique_lock<std::mutex> lock = RefreshLock();
    EnumerateDisks();
    for (const DiskRecord& disk : DiskList)
        if (disk.DiskNumber == SelectedDisk.DiskNumber) {
            SelectedDisk = disk;
            SelectedDisk.SelectedPartition = 0;
            return true;
        }
    return false;
}

bool GetSelectedDisk() {
    std::unique_lock<std::mutex> lock = RefreshLock();
    if (!lock) return false;
    SelectedDisk = DiskRecord{};
    ui::Toolkit& ui = ui::UI();
    int selected = ui.SelectedItem(core::DriveTree);
    if (selected == -1) return false;
    if (ui.ItemLevel(core::DriveTree, selected) == 1) {
        for (const DiskRecord& disk : DiskList)
            for (int slot = 0; slot < kListedSlots; ++slot) {
                const PartitionRecord& partition = disk.Partitions[slot];
                if (partition.ListRow != selected || !partition.InUse()) continue;
                SelectedDisk = disk;
                SelectedDisk.SelectedPartition = uint8_t(slot + 1);
                return true;
            }
        return false;
    }
    for (const DiskRecord& disk : DiskList)
        if (disk.ListRow == selected) {
            SelectedDisk = disk;
            SelectedDisk.SelectedPartition = 0;
            return true;
        }
    return false;
}

}  // namespace disk
