// The main operation: checks and confirmation, a new partition table, the file system,
// the boot records; on a worker thread, with every step in the status line.
#include "prepare/format_and_install.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "app/ids.h"
#include "app/local_repository.h"
#include "app/progress.h"
#include "app/settings.h"
#include "app/state.h"
#include "disk/disk_system.h"
#include "disk/drive_list.h"
#include "disk/format_size.h"
#include "disk/raw_access.h"
#include "platform/clock.h"
#include "platform/file_tree.h"
#include "platform/paths.h"
#include "prepare/boot_records.h"
#include "prepare/format_volume.h"
#include "prepare/partition_table.h"
#include "resources/unpack_archive.h"
#include "ui/toolkit.h"

namespace app {
namespace {

constexpr int64_t kHeads = 255;

int64_t NumberOf(const std::string& text) {
    try {
        return std::stoll(text);
    } catch (...) {
        return 0;
    }
}

std::string FileNamePart(const std::string& path) {
    size_t cut = path.find_last_of(platform::PathSeparator() + "/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
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
    if (Boot_records == "Windows") return BootRecordSet{BootImage::UsbHddPlus, 1, {}, 0};
    if (Boot_records == "XPC") {
        if (!IsFat32(FileSystem)) FileSystem = "FAT32-LBA";
        return BootRecordSet{BootImage::MbrBin, 1, BootImage::Bs32Bin, 1};
    }
    if (Boot_records == "Clover") {
        if (IsFat32(FileSystem))
            return BootRecordSet{BootImage::Boot0, 1, BootImage::Boot1f32alt, 1};
        if (FileSystem == "exFAT")
            return BootRecordSet{BootImage::Boot0, 1, BootImage::Boot1xalt, 2};
        ShowStatus("Error : Select FileSystem : FAT32-LBA Or exFAT only!", 5000);
        return std::nullopt;
    }
    return BootRecordSet{BootImage::Boot0, 0, {}, 0};  // Not_Format: never written
}

// The archive the repository scan or the configuration chose, read once under its lock.
struct ChosenArchive {
    std::string path, revision;
};

ChosenArchive ChosenLocalArchive() {
    std::lock_guard lock(LocalArchivesLock);
    return {LocalArchivePath, LocalArchiveRevision};
}

bool LocalDataSetReadable() {
    if (platform::FileSize(ChosenLocalArchive().path) > 0) {
        ShowStatus("Success Read Local Data set", 2000);
        return true;
    }
    ShowStatus("Can't Read Local Data set", 2000);
    ui::UI().MessageBox("Warning",
                        "WARNING: Sorry, Not Found Any Clover Distr in Local Repository: \r\n" +
                            CloverLocalRepository,
                        ui::Icon::Warning, ui::Buttons::Ok);
    return false;
}

std::string TaskLine(int32_t installDataSet) {
    std::string task;
    if (installDataSet == 1)
        task = "Install Full Data";
    else if (Boot_records == "Windows")
        task = "Windows format only ";
    else if (Boot_records == "XPC")
        task = "XPC format only ";
    else if (Boot_records == "Clover")
        task = "Clover format only";
    else
        task = "Not Format";
    return "Task:\t" + task + "\r\n";
}

std::string BootRecordLines() {
    if (Boot_records == "Windows")
        return "MBR:\tUSB-HDD+ (UltraISO)\r\nPBR:\tStandart (Windows)\r\n";
    if (Boot_records == "XPC") return "MBR:\tMbr.bin(XPC)\r\nPBR:\tBs32.bin(XPC)\r\n";
    if (Boot_records != "Clover") return "";
    std::string lines = "MBR:\tboot0 (Clover)\r\n";
    if (IsFat32(FileSystem)) lines += "PBR:\tboot1f32alt (Clover)\r\n";
    if (FileSystem == "exFAT") lines += "PBR:\tboot1xalt (Clover)\r\n";
    return lines;
}

std::string LayoutLines() {
    if (Boot_records == "Not_Format") return "";
    std::string lines;
    if (StartLBASector == "63")
        lines = "Align:\tto cylinder (63 sects)\r\n";
    else if (StartLBASector == "2048")
        lines = "Align:\tto flash block (2048 sects)\r\n";
    else if (StartLBASector == "4096" || StartLBASector == "8192")
        lines = "Align:\tto " + StartLBASector + " (sects)\r\n";
    return lines + "FS:\t" + FileSystem + "\r\n";
}

std::string DataSetLine() {
    std::string line = "Clover:\t" + InstallDataSet;
    if (InstallDataSet == "DL")
        line += DownloadRevision.empty() ? " Latest Rev." : " r" + DownloadRevision;
    else if (InstallDataSet == "Local") {
        ChosenArchive archive = ChosenLocalArchive();
        line += " r" + archive.revision + " from\r\n\t" + FileNamePart(archive.path);
    }
    return line + "\r\n";
}

std::string Summary(int32_t installDataSet) {
    return TaskLine(installDataSet) + BootRecordLines() + LayoutLines() + DataSetLine();
}

// The handles of one run; the closing steps release whatever is still open.
struct RunHandles {
    DiskHandlePtr disk;
    DiskHandlePtr volume;

    void Close() {
        for (DiskHandlePtr* handle : {&volume, &disk})
            if (*handle) {
                UnlockVolume(handle->get());
                handle->reset();
            }
    }
};

// Every volume of the disk with a letter is locked and dismounted before the rewrite.
void DismountVolumes() {
    for (int slot = 0; slot < SelectedDisk.PartitionCount && slot < kPartitionSlots; ++slot) {
        const std::string& letter = SelectedDisk.Partitions[slot].Letter;
        if (letter.empty()) continue;
        DiskHandlePtr volume = OpenDiskDevice(0, letter, false, true);
        if (!volume) {
            ShowStatus("Error open volume " + letter + " for write&lock", 2000);
            continue;
        }
        DismountVolume(volume.get());
    }
}

PartitionLayout LayoutOfSelectedDisk() {
    const platform::DiskGeometry& geometry = SelectedDisk.Geometry;
    PartitionLayout layout;
    layout.startSector = NumberOf(StartLBASector);
    if (layout.startSector >= SelectedDisk.ChsSectors) layout.startSector = 63;
    layout.twoPartitions = MultiPartitions == 1;
    layout.bootSizeMb = BootPartitionSize;
    layout.bytesPerSector = geometry.BytesPerSector;
    layout.sectorsPerTrack = geometry.SectorsPerTrack;
    layout.heads = kHeads;
    layout.totalSectors = geometry.BytesPerSector ? geometry.DiskSize / geometry.BytesPerSector : 0;
    layout.geometryCapacity = SelectedDisk.ChsSectors;
    return layout;
}

// Steps that rewrite the partition table; false ends the run.
bool WritePartitionTable(const BootRecordSet& set, RunHandles& handles) {
    int64_t bytesPerSector = SelectedDisk.Geometry.BytesPerSector;
    std::vector<uint8_t> mbr(size_t(bytesPerSector) * size_t(set.mbrSectors), 0);
    std::span<const uint8_t> image = BootImageBytes(set.mbr);
    std::copy(image.begin(), image.begin() + std::min<size_t>(image.size(), 512), mbr.begin());

    handles.disk = OpenDiskDevice(SelectedDisk.DiskNumber, "", true, true);
    if (!handles.disk) {
        CancelFlag = 1;
        ShowStatus(
            "Error opening the Disk" + std::to_string(SelectedDisk.DiskNumber) + " for write&lock",
            2000);
        return false;
    }
    DismountVolumes();
    DrawStatus("Create PartitionTable");
    ClearPartitionStructures(handles.disk.get(), SelectedDisk.Geometry.DiskSize, bytesPerSector);
    WriteMasterBootRecord(handles.disk.get(), mbr, BuildPartitionTable(LayoutOfSelectedDisk()),
                          bytesPerSector);
    UnlockVolume(handles.disk.get());
    handles.disk.reset();
    platform::SystemClock().SleepMs(500);
    if (RereadSelectedDisk()) return true;
    // Unplugged: its number names no disk now, and never another one.
    CancelFlag = 1;
    ShowStatus("Error : The Disk" + std::to_string(SelectedDisk.DiskNumber) + " is gone!", 2000);
    return false;
}

// Partition 1's letter, given by the system or assigned now; "" ends the run. Nothing was
// formatted then, so "All done" must not follow.
std::string FirstPartitionLetter() {
    PartitionRecord& first = SelectedDisk.Partitions[0];
    if (first.Letter.empty()) {
        std::string letter = Disks().AssignDriveLetter(SelectedDisk.DiskNumber);
        if (letter.empty()) {
            CancelFlag = 1;
            ShowStatus("Error : The new partition got no drive letter!", 2000);
            return "";
        }
        first.Letter = letter;
        SelectedDisk.Letters = letter;
    }
    return first.Letter;
}

// Steps from the second opening of the disk to the boot records; false ends the run.
bool FormatFirstPartition(const BootRecordSet& set, RunHandles& handles) {
    int32_t number = SelectedDisk.DiskNumber;
    handles.disk = OpenDiskDevice(number, "", true, true);
    if (!handles.disk) {
        CancelFlag = 1;
        ShowStatus("Error opening the Disk" + std::to_string(number), 2000);
        return false;
    }
    std::string letter = FirstPartitionLetter();
    if (letter.empty()) return false;
    handles.volume = OpenDiskDevice(0, letter, true, true);
    if (!handles.volume) {
        ShowStatus("Error open volume " + letter + " With lock", 2000);
        CancelFlag = 1;
        return false;
    }
    DismountVolume(handles.volume.get());
    UnlockVolume(handles.volume.get());
    handles.volume.reset();

    ShowStatus("Formatting Drive " + ShownLetter(letter) + "...", 2000);
    std::string fileSystem = FileSystem == "FAT32-LBA" ? "FAT32" : FileSystem;
    if (!FormatVolume(letter, fileSystem, VolumeLabel, QuickFormat,
                      uint32_t(NumberOf(ClusterSize)))) {
        CancelFlag = 1;
        return false;
    }
    int64_t bytesPerSector = SelectedDisk.Geometry.BytesPerSector;
    if (FileSystem == "FAT32-LBA") {
        SetPartitionTypeLba(handles.disk.get(), bytesPerSector);
        platform::SystemClock().SleepMs(500);
        handles.disk->UpdateProperties();
    }
    if (set.pbrSectors == 0) return true;
    if (!InstallPartitionBootRecord(number, letter, BootImageBytes(set.pbr), set.pbrSectors,
                                    bytesPerSector, FileSystem))
        return false;
    Disks().RemountVolume(letter);
    ShowStatus(Boot_records + " boot records installed", 1000);
    return true;
}

// A table whose last partition would have no sectors (a boot partition as large as the
// disk, a start past its end) or a disk without a known geometry is never written.
bool LayoutFits() {
    PartitionLayout layout = LayoutOfSelectedDisk();
    int64_t used = layout.startSector;
    if (layout.twoPartitions)
        used += layout.bootSizeMb * 1024 * 1024 / std::max<int64_t>(1, layout.bytesPerSector);
    if (layout.bytesPerSector >= 512 && used < layout.totalSectors) return true;
    CancelFlag = 1;
    ShowStatus("Error : The partitions do not fit on this disk!", 5000);
    return false;
}

// Checks, summary and confirmation; false ends the run before anything is written.
bool CheckAndConfirm(int32_t installDataSet, std::optional<BootRecordSet>& set) {
    if (!GetSelectedDisk()) return false;
    if (HoldsSystemDrive(SelectedDisk)) {
        ui::UI().MessageBox("Error",
                            "Sorry, operation not permitted!\r\nYou selected a System Drive.",
                            ui::Icon::Warning, ui::Buttons::Ok);
        return false;
    }
    if (SelectedDisk.BusType != "USB" &&
        !Confirm("Warning",
                 "Are You sure?\r\nTarget Drive is Not USB Disk!\r\n\r\nTo Continue with this "
                 "operation, click OK.\r\nTo quit click CANCEL.",
                 ui::Buttons::OkCancel))
        return false;
    set = ChooseBootRecordSet();
    if (!set) return false;
    if (InstallDataSet == "Local" && !LocalDataSetReadable()) return false;

    std::string summary = Summary(installDataSet);
    std::string description = SelectedDisk.ProductId + " " + SelectedDisk.VendorId + " " +
                              FormatSize(SelectedDisk.LengthBytes, 0);
    if (!SelectedDisk.Letters.empty()) {
        description += " (" + SelectedDisk.Letters + ")";
    } else if (Boot_records == "Not_Format") {
        ShowStatus("Error : Can't copy Boot Data Set Files - Dest Disk Don't Have a Letter!", 5000);
        return false;
    }
    if (Boot_records != "Not_Format" && !LayoutFits()) return false;
    if (!Confirm("WARNING",
                 "ALL DATA ON DEVICE:\r\n" + description + "\r\nWILL BE DESTROYED.\r\n\r\n" +
                     summary +
                     "\r\nTo Continue with this operation, click OK.\r\nTo quit click CANCEL.",
                 ui::Buttons::OkCancel)) {
        CancelFlag = 1;
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

// The Clover data set onto partition 1. Downloaded sets come with the download step.
void InstallDataSetFiles(const std::string& letter) {
    if (InstallDataSet != "Local") return;
    if (!UnpackArchive({}, letter, false, ChosenLocalArchive().path, true, false)) {
        ShowStatus("Data set files of Clover not Installed", 2000);
        return;
    }
    WriteMarkers(letter);
    ShowStatus("Data set files of Clover Installed", 2000);
}

void Run(int32_t installDataSet, RunHandles& handles) {
    std::optional<BootRecordSet> set;
    if (!CheckAndConfirm(installDataSet, set)) return;
    ui::UI().SetText(FormatButton, "Format Cancel");
    CancelFlag = 0;
    if (Boot_records != "Not_Format" &&
        !(WritePartitionTable(*set, handles) && FormatFirstPartition(*set, handles)))
        return;
    if (installDataSet == 1) InstallDataSetFiles(SelectedDisk.Partitions[0].Letter);
}

}  // namespace

void FormatAndInstall(int32_t installDataSet) {
    ui::Toolkit& ui = ui::UI();
    int rememberedLine = ui.SelectedItem(DriveTree);
    ui.EnableControl(DriveTree, false);
    BusyFlag = 1;

    RunHandles handles;
    Run(installDataSet, handles);
    handles.Close();

    if (CancelFlag == 0) ShowStatus("All done", 2000);
    ui.SetText(FormatButton, "Format Disk");
    ui.EnableControl(DriveTree, true);
    RefreshDriveList();
    if (rememberedLine != 0) ui.SelectItem(DriveTree, rememberedLine);
    CancelFlag = 0;
    BusyFlag = 0;
    TransferCancelFlag = 0;
}

}  // namespace app
