// The main operation: checks and confirmation, a new partition table, the file system,
// the boot records; on a worker thread, with every step in the status line.
#include "prepare/format_and_install.h"

#include <algorithm>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/ids.h"
#include "core/progress.h"
#include "core/setting_choices.h"
#include "core/settings.h"
#include "core/state.h"
#include "disk/disk_system.h"
#include "disk/drive_list.h"
#include "disk/format_size.h"
#include "disk/raw_access.h"
#include "disk/same_disk.h"
#include "download/clover_data_set.h"
#include "download/latest_revision.h"
#include "download/local_repository.h"
#include "platform/clock.h"
#include "platform/file_tree.h"
#include "platform/path_parts.h"
#include "platform/paths.h"
#include "prepare/boot_records.h"
#include "prepare/format_volume.h"
#include "prepare/partition_table.h"
#include "resources/unpack_archive.h"
#include "ui/toolkit.h"

namespace prepare {
namespace {

using core::BootRecordsKind;
using core::DataSetSource;
using core::FileSystemKind;

constexpr int64_t kHeads = 255;

int64_t NumberOf(const std::string& text) {
    try {
        return std::stoll(text);
    } catch (...) {
        return 0;
    }
}

// The letter as the status line names it: "E:" of "E:\", a Linux folder whole.
std::string ShownLetter(const std::string& letter) {
    return letter.size() >= 2 && letter[1] == ':' ? letter.substr(0, 2) : letter;
}

bool Confirm(const std::string& title, const std::string& text, ui::Buttons buttons) {
    return ui::UI().MessageBox(title, text, ui::Icon::Warning, buttons) == ui::Answer::Ok;
}

// The set of Boot_records; nullopt ends the run (Clover on a file system it cannot boot).
// XPC moves FileSystem to FAT32-LBA in memory.
std::optional<BootRecordSet> ChooseBootRecordSet() {
    switch (core::BootRecordsChoice()) {
        case BootRecordsKind::Windows:
            return BootRecordSet{BootImage::UsbHddPlus, 1, {}, 0};
        case BootRecordsKind::Xpc:
            if (!core::IsFat32(core::FileSystemChoice()))
                core::SetFileSystemChoice(FileSystemKind::Fat32Lba);
            return BootRecordSet{BootImage::MbrBin, 1, BootImage::Bs32Bin, 1};
        case BootRecordsKind::Clover:
            if (core::IsFat32(core::FileSystemChoice()))
                return BootRecordSet{BootImage::Boot0, 1, BootImage::Boot1f32alt, 1};
            if (core::FileSystemChoice() == FileSystemKind::ExFat)
                return BootRecordSet{BootImage::Boot0, 1, BootImage::Boot1xalt, 2};
            core::ShowStatus("Error : Select FileSystem : FAT32-LBA Or exFAT only!", 5000);
            return std::nullopt;
        case BootRecordsKind::NotFormat:
            break;
    }
    return BootRecordSet{BootImage::Boot0, 0, {}, 0};  // never written
}

// The archive the repository scan or the configuration chose, read once under its lock.
struct ChosenArchive {
    std::string path, revision;
};

ChosenArchive ChosenLocalArchive() {
    std::lock_guard lock(download::LocalArchivesLock);
    return {core::LocalArchivePath, core::LocalArchiveRevision};
}

bool LocalDataSetReadable() {
    if (platform::FileSize(ChosenLocalArchive().path) > 0) {
        core::ShowStatus("Success Read Local Data set", 2000);
        return true;
    }
    core::ShowStatus("Can't Read Local Data set", 2000);
    ui::UI().MessageBox("Warning",
                        "WARNING: Sorry, Not Found Any Clover Distr in Local Repository: \r\n" +
                            core::CloverLocalRepository,
                        ui::Icon::Warning, ui::Buttons::Ok);
    return false;
}

std::string TaskLine(int32_t installDataSet) {
    const char* task = "Not Format";
    if (installDataSet == 1)
        task = "Install Full Data";
    else if (core::BootRecordsChoice() == BootRecordsKind::Windows)
        task = "Windows format only ";
    else if (core::BootRecordsChoice() == BootRecordsKind::Xpc)
        task = "XPC format only ";
    else if (core::BootRecordsChoice() == BootRecordsKind::Clover)
        task = "Clover format only";
    return std::string("Task:\t") + task + "\r\n";
}

std::string BootRecordLines() {
    switch (core::BootRecordsChoice()) {
        case BootRecordsKind::Windows:
            return "MBR:\tUSB-HDD+ (UltraISO)\r\nPBR:\tStandart (Windows)\r\n";
        case BootRecordsKind::Xpc:
            return "MBR:\tMbr.bin(XPC)\r\nPBR:\tBs32.bin(XPC)\r\n";
        case BootRecordsKind::Clover:
            break;
        case BootRecordsKind::NotFormat:
            return "";
    }
    std::string lines = "MBR:\tboot0 (Clover)\r\n";
    if (core::IsFat32(core::FileSystemChoice())) lines += "PBR:\tboot1f32alt (Clover)\r\n";
    if (core::FileSystemChoice() == FileSystemKind::ExFat) lines += "PBR:\tboot1xalt (Clover)\r\n";
    return lines;
}

std::string LayoutLines() {
    if (core::BootRecordsChoice() == BootRecordsKind::NotFormat) return "";
    std::string lines;
    if (core::StartLBASector == "63")
        lines = "Align:\tto cylinder (63 sects)\r\n";
    else if (core::StartLBASector == "2048")
        lines = "Align:\tto flash block (2048 sects)\r\n";
    else if (core::StartLBASector == "4096" || core::StartLBASector == "8192")
        lines = "Align:\tto " + core::StartLBASector + " (sects)\r\n";
    lines += "FS:\t" + core::FileSystem + "\r\n";
    // UEFI firmware starts EFI/BOOT/BOOTX64.efi from FAT volumes only.
    if (!core::IsFat32(core::FileSystemChoice()))
        lines += "UEFI:\tnot bootable (firmware reads FAT32 only)\r\n";
    return lines;
}

std::string DataSetLine() {
    std::string line = "Clover:\t" + core::InstallDataSet;
    if (core::InstallDataSetChoice() == DataSetSource::Download)
        // "0" is no revision either: the latest one is looked up first.
        line +=
            NumberOf(core::DownloadRevision) == 0 ? " Latest Rev." : " r" + core::DownloadRevision;
    else if (core::InstallDataSetChoice() == DataSetSource::Local) {
        ChosenArchive archive = ChosenLocalArchive();
        line += " r" + archive.revision + " from\r\n\t" + platform::FileNamePart(archive.path);
    }
    return line + "\r\n";
}

std::string Summary(int32_t installDataSet) {
    return TaskLine(installDataSet) + BootRecordLines() + LayoutLines() + DataSetLine();
}

// The handles of one run; the closing steps release whatever is still open.
struct RunHandles {
    disk::DiskHandlePtr disk;
    disk::DiskHandlePtr volume;

    void Close() {
        for (disk::DiskHandlePtr* handle : {&volume, &disk})
            if (*handle) {
                disk::UnlockVolume(handle->get());
                handle->reset();
            }
    }
};

// Every mounted volume of the disk, logical partitions too, is locked and dismounted
// before the rewrite. One that cannot be ends the run before anything is written: its
// file system would stay in use over the new structures.
bool DismountVolumes() {
    for (const std::string& letter : disk::MountedVolumes(disk::SelectedDisk.DiskNumber)) {
        disk::DiskHandlePtr volume = disk::OpenDiskDevice(0, letter, false, true);
        if (!volume || !disk::DismountVolume(volume.get())) {
            core::CancelFlag = 1;
            core::ShowStatus("Error open volume " + letter + " for write&lock", 2000);
            return false;
        }
    }
    return true;
}

PartitionLayout LayoutOfSelectedDisk() {
    const platform::DiskGeometry& geometry = disk::SelectedDisk.Geometry;
    PartitionLayout layout;
    layout.startSector = NumberOf(core::StartLBASector);
    if (layout.startSector >= disk::SelectedDisk.ChsSectors) layout.startSector = 63;
    layout.twoPartitions = core::MultiPartitions == 1;
    layout.bootSizeMb = core::BootPartitionSize;
    layout.bytesPerSector = geometry.BytesPerSector;
    layout.sectorsPerTrack = geometry.SectorsPerTrack;
    layout.heads = kHeads;
    layout.totalSectors = geometry.BytesPerSector ? geometry.DiskSize / geometry.BytesPerSector : 0;
    layout.geometryCapacity = disk::SelectedDisk.ChsSectors;
    return layout;
}

bool DiskReplaced() {
    core::CancelFlag = 1;
    core::ShowStatus("Error : The Disk" + std::to_string(disk::SelectedDisk.DiskNumber) +
                         " is not the disk confirmed!",
                     5000);
    return false;
}

// The disk under the number may have been pulled and another one plugged in meanwhile.
bool IsStillSelectedDisk(const platform::DiskFingerprint& confirmed, platform::DiskHandle& opened,
                         disk::SignatureCheck signature) {
    return disk::SameDisk(confirmed, opened.Fingerprint(), signature) || DiskReplaced();
}

// Steps that rewrite the partition table; false ends the run.
bool WritePartitionTable(const BootRecordSet& set, RunHandles& handles) {
    int64_t bytesPerSector = disk::SelectedDisk.Geometry.BytesPerSector;
    std::vector<uint8_t> mbr(size_t(bytesPerSector) * size_t(set.mbrSectors), 0);
    std::span<const uint8_t> image = BootImageBytes(set.mbr);
    std::copy(image.begin(), image.begin() + std::min<size_t>(image.size(), 512), mbr.begin());

    platform::DiskFingerprint confirmed = disk::FingerprintOf(disk::SelectedDisk);
    handles.disk = disk::OpenDiskDevice(disk::SelectedDisk.DiskNumber, "", true, true);
    if (!handles.disk) {
        core::CancelFlag = 1;
        core::ShowStatus("Error opening the Disk" + std::to_string(disk::SelectedDisk.DiskNumber) +
                             " for write&lock",
                         2000);
        return false;
    }
    if (!IsStillSelectedDisk(confirmed, *handles.disk, disk::SignatureCheck::Compared))
        return false;
    if (!DismountVolumes()) return false;
    core::DrawStatus("Create PartitionTable");
    ClearPartitionStructures(handles.disk.get(), disk::SelectedDisk.Geometry.DiskSize,
                             bytesPerSector);
    if (!WriteMasterBootRecord(handles.disk.get(), mbr, BuildPartitionTable(LayoutOfSelectedDisk()),
                               bytesPerSector)) {
        core::CancelFlag = 1;
        core::ShowStatus("Error : The new partition table of Disk" +
                             std::to_string(disk::SelectedDisk.DiskNumber) +
                             " did not reach the disk!",
                         5000);
        return false;
    }
    disk::UnlockVolume(handles.disk.get());
    handles.disk.reset();
    platform::SystemClock().SleepMs(500);
    if (disk::RereadSelectedDisk())
        return disk::SameDisk(confirmed, disk::FingerprintOf(disk::SelectedDisk),
                              disk::SignatureCheck::Ignored) ||
               DiskReplaced();
    // Unplugged: its number names no disk now, and never another one.
    core::CancelFlag = 1;
    core::ShowStatus(
        "Error : The Disk" + std::to_string(disk::SelectedDisk.DiskNumber) + " is gone!", 2000);
    return false;
}

// Partition 1's letter, given by the system or assigned now; "" ends the run.
std::string FirstPartitionLetter() {
    disk::PartitionRecord& first = disk::SelectedDisk.Partitions[0];
    if (first.Letter.empty()) {
        std::string letter = disk::Disks().AssignDriveLetter(disk::SelectedDisk.DiskNumber);
        if (letter.empty()) {
            core::CancelFlag = 1;
            core::ShowStatus("Error : The new partition got no drive letter!", 2000);
            return "";
        }
        first.Letter = letter;
        disk::SelectedDisk.Letters = letter;
    }
    return first.Letter;
}

// Steps from the second opening of the disk to the boot records; false ends the run.
bool FormatFirstPartition(const BootRecordSet& set, RunHandles& handles) {
    int32_t number = disk::SelectedDisk.DiskNumber;
    handles.disk = disk::OpenDiskDevice(number, "", true, true);
    if (!handles.disk) {
        core::CancelFlag = 1;
        core::ShowStatus("Error opening the Disk" + std::to_string(number), 2000);
        return false;
    }
    if (!IsStillSelectedDisk(disk::FingerprintOf(disk::SelectedDisk), *handles.disk,
                             disk::SignatureCheck::Compared))
        return false;
    std::string letter = FirstPartitionLetter();
    if (letter.empty()) return false;
    handles.volume = disk::OpenDiskDevice(0, letter, true, true);
    if (!handles.volume) {
        core::ShowStatus("Error open volume " + letter + " With lock", 2000);
        core::CancelFlag = 1;
        return false;
    }
    disk::DismountVolume(handles.volume.get());
    disk::UnlockVolume(handles.volume.get());
    handles.volume.reset();

    core::ShowStatus("Formatting Drive " + ShownLetter(letter) + "...", 2000);
    FileSystemKind fileSystem = core::FileSystemChoice();
    if (!FormatVolume(letter, core::FormatServiceName(fileSystem), core::VolumeLabel,
                      core::QuickFormat, uint32_t(NumberOf(core::ClusterSize)))) {
        core::CancelFlag = 1;
        return false;
    }
    int64_t bytesPerSector = disk::SelectedDisk.Geometry.BytesPerSector;
    if (fileSystem == FileSystemKind::Fat32Lba) {
        SetPartitionTypeLba(handles.disk.get(), bytesPerSector);
        platform::SystemClock().SleepMs(500);
        handles.disk->UpdateProperties();
    }
    if (set.pbrSectors == 0) return true;
    if (!InstallPartitionBootRecord(number, letter, BootImageBytes(set.pbr), set.pbrSectors,
                                    bytesPerSector, fileSystem))
        return false;
    disk::Disks().RemountVolume(letter);
    core::ShowStatus(core::Boot_records + " boot records installed", 1000);
    return true;
}

// A table whose last partition would have no sectors (a boot partition as large as the
// disk, a start past its end) or a disk without a known geometry is never written.
bool LayoutFits() {
    PartitionLayout layout = LayoutOfSelectedDisk();
    int64_t used = layout.startSector;
    if (layout.twoPartitions)
        used += layout.bootSizeMb * 1024 * 1024 / std::max<int64_t>(1, layout.bytesPerSector);
    if (layout.totalSectors >= kMbrSectorLimit) {
        core::CancelFlag = 1;
        core::ShowStatus("Error : Disk too big for MBR (2^32 sectors at most)!", 5000);
        return false;
    }
    if (layout.bytesPerSector >= 512 && used < layout.totalSectors) return true;
    core::CancelFlag = 1;
    core::ShowStatus("Error : The partitions do not fit on this disk!", 5000);
    return false;
}

// Checks, summary and confirmation; false ends the run before anything is written.
bool CheckAndConfirm(int32_t installDataSet, std::optional<BootRecordSet>& set) {
    if (!disk::GetSelectedDisk()) return false;
    if (disk::HoldsSystemDrive(disk::SelectedDisk)) {
        ui::UI().MessageBox("Error",
                            "Sorry, operation not permitted!\r\nYou selected a System Drive.",
                            ui::Icon::Warning, ui::Buttons::Ok);
        return false;
    }
    if (disk::SelectedDisk.BusType != "USB" &&
        !Confirm("Warning",
                 "Are You sure?\r\nTarget Drive is Not USB Disk!\r\n\r\nTo Continue with this "
                 "operation, click OK.\r\nTo quit click CANCEL.",
                 ui::Buttons::OkCancel))
        return false;
    set = ChooseBootRecordSet();
    if (!set) return false;
    if (core::InstallDataSetChoice() == DataSetSource::Local && !LocalDataSetReadable())
        return false;

    std::string summary = Summary(installDataSet);
    std::string description = disk::SelectedDisk.ProductId + " " + disk::SelectedDisk.VendorId +
                              " " + disk::FormatSize(disk::SelectedDisk.LengthBytes, 0);
    if (!disk::SelectedDisk.Letters.empty()) {
        description += " (" + disk::SelectedDisk.Letters + ")";
    } else if (core::BootRecordsChoice() == BootRecordsKind::NotFormat) {
        core::ShowStatus("Error : Can't copy Boot Data Set Files - Dest Disk Don't Have a Letter!",
                         5000);
        return false;
    }
    if (core::BootRecordsChoice() != BootRecordsKind::NotFormat && !LayoutFits()) return false;
    if (!Confirm("WARNING",
                 "ALL DATA ON DEVICE:\r\n" + description + "\r\nWILL BE DESTROYED.\r\n\r\n" +
                     summary +
                     "\r\nTo Continue with this operation, click OK.\r\nTo quit click CANCEL.",
                 ui::Buttons::OkCancel)) {
        core::CancelFlag = 1;
        return false;
    }
    return true;
}

// The marker entries that keep macOS from indexing and logging on the stick, hidden.
void WriteMarkers(const std::string& letter) {
    std::unique_ptr<platform::FileTree> tree = platform::OpenFileTree(letter);
    if (!tree) return;
    auto nothing = [](uint8_t*, size_t) -> int64_t { return 0; };
    if (tree->WriteFile(".metadata_never_index", nothing, false))
        tree->SetHidden(".metadata_never_index");
    bool newFolder = !tree->Exists(".fseventsd");
    if (tree->CreateFolder(".fseventsd")) tree->SetHidden(".fseventsd");
    if (newFolder && tree->WriteFile(".fseventsd/no_log", nothing, false))
        tree->SetHidden(".fseventsd/no_log");
    tree->Finish();
}

// The downloaded set; the latest revision is looked up first when none is known yet.
core::Outcome InstallDownloadedDataSet(const std::string& letter) {
    if (NumberOf(core::DownloadRevision) == 0) {
        if (download::CheckLatestRevisionInTurn() != core::Outcome::Done) {
            core::ShowStatus("Error Check Clover Last Revision", 2000);
            return core::Outcome::Failed;
        }
        std::lock_guard lock(core::RevisionsLock);
        core::DownloadRevision = core::CloverLastRev;
    }
    return download::InstallCloverDataSet(letter);
}

// The Clover data set onto partition 1: the chosen local archive or the downloaded one.
bool InstallDataSetFiles(const std::string& letter) {
    bool installed = false;
    switch (core::InstallDataSetChoice()) {
        case DataSetSource::Local:
            installed =
                resources::UnpackArchive({}, letter, false, ChosenLocalArchive().path, true, false);
            break;
        case DataSetSource::Download:
            installed = InstallDownloadedDataSet(letter) == core::Outcome::Done;
            break;
        case DataSetSource::NotInstall:
            return true;
    }
    if (!installed) {
        core::ShowStatus("Data set files of Clover not Installed", 2000);
        return false;
    }
    WriteMarkers(letter);
    core::ShowStatus("Data set files of Clover Installed", 2000);
    return true;
}

// A step that ended the run after the confirmation: a failure, unless the user asked
// to cancel.
core::Outcome Stopped() {
    return core::TransferCancelFlag != 0 ? core::Outcome::Cancelled : core::Outcome::Failed;
}

core::Outcome Run(int32_t installDataSet, RunHandles& handles) {
    std::optional<BootRecordSet> set;
    if (!CheckAndConfirm(installDataSet, set)) return core::Outcome::Refused;
    ui::UI().SetText(core::FormatButton, "Format Cancel");
    core::CancelFlag = 0;
    if (core::BootRecordsChoice() != BootRecordsKind::NotFormat &&
        !(WritePartitionTable(*set, handles) && FormatFirstPartition(*set, handles)))
        return Stopped();
    if (installDataSet == 1 && !InstallDataSetFiles(disk::SelectedDisk.Partitions[0].Letter))
        return Stopped();
    return core::Outcome::Done;
}

}  // namespace

core::Outcome FormatAndInstall(int32_t installDataSet) {
    ui::Toolkit& ui = ui::UI();
    int rememberedLine = ui.SelectedItem(core::DriveTree);
    ui.EnableControl(core::DriveTree, false);
    core::BusyFlag = 1;

    RunHandles handles;
    core::Outcome outcome = Run(installDataSet, handles);
    handles.Close();
    // A cancel pressed after the last step still counts.
    if (outcome == core::Outcome::Done && core::CancelFlag != 0) outcome = core::Outcome::Cancelled;

    // A refusal, a failed step or a cancel leaves its own text as the last one.
    if (outcome == core::Outcome::Done) core::ShowStatus("All done", 2000);
    ui.SetText(core::FormatButton, "Format Disk");
    ui.EnableControl(core::DriveTree, true);
    disk::RefreshDriveList();
    if (rememberedLine != 0) ui.SelectItem(core::DriveTree, rememberedLine);
    core::CancelFlag = 0;
    core::BusyFlag = 0;
    core::TransferCancelFlag = 0;
    return outcome;
}

}  // namespace prepare
