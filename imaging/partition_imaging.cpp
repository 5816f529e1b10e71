// Backup and restore of one partition of the selected disk, on a worker thread, with every
// step in the status line. Both share the chunk copy loop and its progress display.
#include "imaging/partition_imaging.h"

#include <memory>
#include <optional>
#include <string>

#include "core/ids.h"
#include "core/progress.h"
#include "core/settings.h"
#include "core/state.h"
#include "disk/disk_record.h"
#include "disk/disk_system.h"
#include "disk/drive_list.h"
#include "disk/format_size.h"
#include "disk/raw_access.h"
#include "download/system_error.h"
#include "imaging/chunk_copy.h"
#include "imaging/image_location.h"
#include "platform/byte_order.h"
#include "platform/error_text.h"
#include "platform/image_file.h"
#include "platform/mbr_layout.h"
#include "platform/paths.h"

namespace imaging {
namespace {

using core::Outcome;
using disk::DiskHandlePtr;
using ImagePtr = std::unique_ptr<platform::ImageFile>;

constexpr uint8_t kHfsPlusType = 0xAF;

std::string DefaultImagePath() { return core::SFKImageLocalRepo + "PartSave.hfs"; }

bool AskYesNo(const std::string& title, const std::string& text, ui::Icon icon) {
    return ui::UI().MessageBox(title, text, icon, ui::Buttons::YesNo) == ui::Answer::Yes;
}

void ShowError(const std::string& text) {
    ui::UI().MessageBox("Error", text, ui::Icon::Error, ui::Buttons::Ok);
}

std::string Decimal(uint32_t code) { return std::to_string(code); }

void ShowTransfer(int64_t done, int64_t total, const TransferCounts& counts) {
    core::DrawStatus(ProgressText(done, total, counts), ProgressPercent(done, total));
}

// Counts with the time up to now, flushing included, for the final line.
TransferCounts FinalCounts(const CopyResult& result, const CopyClock& clock) {
    TransferCounts counts = result.counts;
    counts.elapsed = clock.now() - result.started;
    return counts;
}

// The status line of a copy that a failed read or write stopped; a failed write to a
// device also shows the system's message. False when the copy did not fail.
bool StoppedOnFailure(const CopyResult& copied, bool writingDevice) {
    if (copied.end == CopyEnd::ReadFailed) {
        core::DrawStatus("ReadFile Error=" + Decimal(copied.error));
        return true;
    }
    if (copied.end != CopyEnd::WriteFailed) return false;
    core::DrawStatus("WriteFile Error=" + Decimal(copied.error));
    if (writingDevice) download::ShowSystemError(copied.error);
    return true;
}

// Bulk transfers of a device past the system's cache while this lives.
class DirectTransfers {
public:
    explicit DirectTransfers(platform::DiskHandle& device) : device_(device) {
        device_.UseDirectTransfers(true);
    }
    ~DirectTransfers() { device_.UseDirectTransfers(false); }
    DirectTransfers(const DirectTransfers&) = delete;
    DirectTransfers& operator=(const DirectTransfers&) = delete;

private:
    platform::DiskHandle& device_;
};

// Reads the range back from the device and the image from its start.
bool Verify(platform::DiskHandle& device, platform::ImageFile& image, int64_t begin, int64_t end,
            ChunkBuffers& buffers) {
    core::DrawStatus("Verify: reading back");
    DirectTransfers direct(device);  // what the medium holds, not the cache
    if (!image.Seek(0)) {
        core::DrawStatus("Verify: Seek Error=" + Decimal(platform::LastSystemError()));
        return false;
    }
    Comparison comparison = CompareChunks(
        begin, end,
        [&](int64_t at, uint8_t* data, int64_t bytes) {
            return device.ReadAt(at, data, bytes) == bytes;
        },
        [&](int64_t, uint8_t* data, int64_t bytes) { return image.Read(data, bytes) == bytes; },
        buffers);
    if (!comparison.readable) {
        core::DrawStatus("Verify: ReadFile Error=" + Decimal(comparison.error));
        return false;
    }
    if (comparison.firstDifference) {
        core::DrawStatus("Verify Error: first difference at byte " +
                         std::to_string(*comparison.firstDifference));
        return false;
    }
    core::DrawStatus("Verify OK: " + disk::FormatSize(end - begin, 0) + " identical");
    return true;
}

CopyResult CopyWithDirectTransfers(platform::DiskHandle& device, const CopyJob& job,
                                   ChunkBuffers& buffers, const CopyClock& clock) {
    DirectTransfers direct(device);
    return CopyChunks(job, buffers, clock);
}

// The geometry of the selected partition as both directions use it.
struct Extent {
    int slot = 0;
    int64_t sector = 0;  // bytes per sector
    int64_t count = 0;   // sectors of the partition
    int64_t start = 0;   // first sector through the opened handle
};

std::optional<Extent> SelectedExtent(const char* refusal) {
    if (!disk::GetSelectedDisk()) return std::nullopt;
    const disk::DiskRecord& disk = disk::SelectedDisk;
    if (disk.SelectedPartition == 0 || disk.Geometry.BytesPerSector == 0) {
        core::DrawStatus(refusal);
        return std::nullopt;
    }
    Extent extent;
    extent.slot = disk.SelectedPartition - 1;
    const disk::PartitionRecord& partition = disk.Partitions[size_t(extent.slot)];
    extent.sector = disk.Geometry.BytesPerSector;
    extent.count = partition.PartitionLength / extent.sector;
    extent.start = partition.Letter.empty() ? partition.StartingOffset / extent.sector : 0;
    return extent;
}

// ---- Backup ----

struct BackupRun {
    disk::DiskHandlePtr source;
    std::optional<ChunkBuffers> buffers;
    ImagePtr image;
};

// The image path the user agreed to, or "" to stop.
std::string ChooseBackupFile(const Extent& extent) {
    std::string path = ui::UI().SaveFileRequester("Save to SFKImage file:", DefaultImagePath(),
                                                  ImageFileFilters(), kImageFilterIndex);
    if (path.empty() || platform::FolderExists(path)) return "";
    if (FileLiesOnPartition(path, disk::SelectedDisk, extent.slot)) {
        ShowError("The selected file:\n" + path +
                  "\nlies on the partition being read.\nChoose a file on another drive.");
        return "";
    }
    bool agreed =
        platform::FileExists(path)
            ? AskYesNo("Warning", "The selected file:\n" + path + "\nalready exists. Overwrite it?",
                       ui::Icon::Warning)
            : AskYesNo("Information", "You have selected following file:\n" + path,
                       ui::Icon::Information);
    return agreed ? path : "";
}

Outcome FinishBackup(BackupRun& run, const CopyResult& copied, const CopyClock& clock,
                     int64_t length) {
    bool ended = run.image->SetEnd();
    uint32_t error = platform::LastSystemError();
    core::DrawStatus("Write buffered Data to the Disk");
    bool flushed = ended && run.image->Flush();
    if (ended && !flushed) error = platform::LastSystemError();
    if (!flushed) {
        core::DrawStatus((ended ? "FlushFileBuffers Error=" : "SetEndOfFile Error=") +
                         Decimal(error));
        return Outcome::Failed;
    }
    core::DrawStatus(FinishedText(copied.counts.bytesRead, length, FinalCounts(copied, clock)), 0);
    return copied.end == CopyEnd::Cancelled ? Outcome::Cancelled : Outcome::Done;
}

Outcome RunBackup(BackupRun& run, const ImagingOptions& options) {
    std::optional<Extent> extent = SelectedExtent("For BackUp select Partition only");
    if (!extent) return Outcome::Refused;
    const disk::DiskRecord& disk = disk::SelectedDisk;
    const disk::PartitionRecord& partition = disk.Partitions[size_t(extent->slot)];
    run.source = partition.Letter.empty() ? disk::OpenDiskDevice(disk.DiskNumber, "", false, false)
                                          : disk::OpenDiskDevice(0, partition.Letter, false, true);
    if (!run.source) {
        core::ShowStatus("BackUp: Error open Disk" + std::to_string(disk.DiskNumber) + "Part" +
                             std::to_string(disk.SelectedPartition),
                         1000);
        return Outcome::Failed;
    }
    run.source->AllowExtendedAccess();
    run.buffers = ChunkBuffers::Allocate();
    if (!run.buffers) return Outcome::Failed;
    std::string path = ChooseBackupFile(*extent);
    if (path.empty()) return Outcome::Refused;
    run.image = platform::CreateSequentialFile(path);
    if (!run.image) {
        core::ShowStatus("Unable to create file " + path, 1000);
        return Outcome::Failed;
    }

    ui::UI().SetText(core::BackupButton, "Backup Cancel");
    int64_t length = partition.PartitionLength;
    CopyJob job;
    job.begin = extent->start * extent->sector;
    job.end = (extent->start + extent->count) * extent->sector;
    job.read = [&](int64_t at, uint8_t* data, int64_t bytes) {
        return run.source->ReadAt(at, data, bytes) == bytes;
    };
    job.write = [&](int64_t, const uint8_t* data, int64_t bytes) {
        return run.image->Write(data, bytes) == bytes;
    };
    job.showProgress = [&](const TransferCounts& counts) {
        ShowTransfer(counts.bytesRead, length, counts);
    };
    job.cancel = &core::TransferCancelFlag;
    CopyClock clock = HighResClock();
    CopyResult copied = CopyWithDirectTransfers(*run.source, job, *run.buffers, clock);
    if (StoppedOnFailure(copied, false)) return Outcome::Failed;
    Outcome outcome = FinishBackup(run, copied, clock, length);
    if (outcome == Outcome::Done && options.verify &&
        !Verify(*run.source, *run.image, job.begin, job.end, *run.buffers))
        return Outcome::Failed;
    return outcome;
}

void CloseBackup(BackupRun& run) {
    run.buffers.reset();
    run.image.reset();
    if (run.source) disk::UnlockVolume(run.source.get());
    run.source.reset();
    if (core::TransferCancelFlag != 0) core::DrawStatus("Backup Cancelled");
    core::ReadingPause(5000);
    ui::Toolkit& ui = ui::UI();
    ui.SetText(core::BackupButton, "Backup Partition");
    ui.EnableControl(core::DriveTree, true);
    core::TransferCancelFlag = 0;
    core::BusyFlag = 0;
    disk::RefreshDriveList();
}

// ---- Restore ----

struct RestoreRun {
    disk::DiskHandlePtr disk;
    disk::DiskHandlePtr volume;               // the partition's own, when it has a letter
    std::vector<disk::DiskHandlePtr> others;  // the disk's other volumes, held locked
    std::optional<ChunkBuffers> buffers;
    ImagePtr image;
    platform::DiskHandle& Target() { return volume ? *volume : *disk; }
};

// Where the system writes a disk only while none of its volumes is mounted, the disk's
// other volumes (partition 1 of a stick just prepared) are locked for the restore and
// given back at its end, as they were. False, with a status, when one is in use.
bool LockOtherVolumes(RestoreRun& run, const std::string& target) {
    if (!disk::Disks().DiskWritesNeedVolumesLocked()) return true;
    for (const std::string& letter : disk::MountedVolumes(disk::SelectedDisk.DiskNumber)) {
        if (letter == target) continue;
        run.others.push_back(disk::OpenDiskDevice(0, letter, false, true));
        if (!run.others.back()) {
            core::ShowStatus("Error open volume " + letter + " for write&lock", 1000);
            return false;
        }
    }
    return true;
}

// The image the user agreed to with its size, or nothing to stop. Every refusal comes
// before the first byte is written.
std::optional<std::pair<std::string, int64_t>> ChooseRestoreFile(const Extent& extent) {
    std::string path =
        ui::UI().OpenFileRequester("Select SFKImage file to Restore", DefaultImagePath(),
                                   ImageFileFilters(), kImageFilterIndex);
    if (path.empty()) return std::nullopt;
    int64_t size = platform::FileSize(path);
    if (size <= 0) {
        if (!platform::FileExists(path) && !platform::FolderExists(path))
            ShowError("The selected file:\n" + path + "\nnot found.");
        return std::nullopt;
    }
    if (size > extent.count * extent.sector) {
        ShowError("File too big:\n" + path + "\n" + disk::FormatSize(size, 1));
        return std::nullopt;
    }
    if (size % extent.sector != 0) {
        ShowError("The selected file:\n" + path + "\nis " + std::to_string(size) +
                  " bytes, not a whole number of " + std::to_string(extent.sector) +
                  "-byte sectors.\nNothing was written.");
        return std::nullopt;
    }
    if (FileLiesOnDisk(path, disk::SelectedDisk)) {
        ShowError("The selected file:\n" + path +
                  "\nlies on the disk being written.\nChoose a file on another drive.");
        return std::nullopt;
    }
    if (!AskYesNo("Information",
                  "You have selected following file:\n" + path + "\n" + disk::FormatSize(size, 0),
                  ui::Icon::Information))
        return std::nullopt;
    return std::make_pair(path, size);
}

// The restored partition's entry: HFS+ type, the image's sector count; start, status and
// CHS fields as they were.
bool RewriteEntry(platform::DiskHandle& disk, const Extent& extent, int64_t imageBytes) {
    std::vector<uint8_t> mbr(size_t(extent.sector));
    if (disk::ReadSectors(&disk, extent.sector, 0, 1, mbr.data()) != extent.sector) return false;
    uint8_t* entry = mbr.data() + platform::mbr::EntryOffset(size_t(extent.slot));
    entry[platform::mbr::kType] = kHfsPlusType;
    platform::WriteLe32(entry + platform::mbr::kSectorCount, uint32_t(imageBytes / extent.sector));
    return disk::WriteSectors(&disk, extent.sector, 0, 1, mbr.data()) == extent.sector;
}

Outcome FinishRestore(RestoreRun& run, const Extent& extent, const CopyResult& copied,
                      const CopyClock& clock, int64_t imageBytes) {
    core::DrawStatus("Write buffered Data to the Disk");
    if (!run.Target().Flush()) {
        core::DrawStatus("FlushFileBuffers Error=" + Decimal(platform::LastSystemError()));
        return Outcome::Failed;
    }
    bool rewritten = RewriteEntry(*run.disk, extent, imageBytes);
    if (!run.disk->Flush()) rewritten = false;
    if (!rewritten) {
        core::DrawStatus("Error writing the partition table of Disk" +
                         std::to_string(disk::SelectedDisk.DiskNumber));
        return Outcome::Failed;
    }
    core::ShowStatus(
        FinishedText(copied.counts.bytesWritten, imageBytes, FinalCounts(copied, clock)), 2000);
    return copied.end == CopyEnd::Cancelled ? Outcome::Cancelled : Outcome::Done;
}

Outcome RunRestore(RestoreRun& run, const ImagingOptions& options) {
    std::optional<Extent> extent = SelectedExtent("For Restore select Partition only");
    if (!extent) return Outcome::Refused;
    const disk::DiskRecord& disk = disk::SelectedDisk;
    const std::string& letter = disk.Partitions[size_t(extent->slot)].Letter;
    run.disk = disk::OpenDiskDevice(disk.DiskNumber, "", true, true);
    if (run.disk && !letter.empty()) run.volume = disk::OpenDiskDevice(0, letter, true, true);
    if (!run.disk || (!letter.empty() && !run.volume)) {
        core::ShowStatus("Error opening the Disk" + std::to_string(disk.DiskNumber), 1000);
        return Outcome::Failed;
    }
    run.Target().AllowExtendedAccess();
    run.buffers = ChunkBuffers::Allocate();
    if (!run.buffers) return Outcome::Failed;
    auto chosen = ChooseRestoreFile(*extent);
    if (!chosen) return Outcome::Refused;
    auto [path, imageBytes] = *chosen;
    run.image = platform::OpenSequentialFile(path);
    if (!run.image) {
        core::ShowStatus("Unable to open file " + path, 1000);
        return Outcome::Failed;
    }
    if (!LockOtherVolumes(run, letter)) return Outcome::Failed;

    ui::UI().SetText(core::RestoreButton, "Restore Cancel");
    CopyJob job;
    job.begin = extent->start * extent->sector;
    job.end = job.begin + imageBytes;
    job.read = [&](int64_t, uint8_t* data, int64_t bytes) {
        return run.image->Read(data, bytes) == bytes;
    };
    job.write = [&](int64_t at, const uint8_t* data, int64_t bytes) {
        return run.Target().WriteAt(at, data, bytes) == bytes;
    };
    int64_t total = imageBytes;
    job.showProgress = [&](const TransferCounts& counts) {
        ShowTransfer(counts.bytesWritten, total, counts);
    };
    job.cancel = &core::TransferCancelFlag;
    CopyClock clock = HighResClock();
    CopyResult copied = CopyWithDirectTransfers(run.Target(), job, *run.buffers, clock);
    if (StoppedOnFailure(copied, true)) return Outcome::Failed;
    Outcome outcome = FinishRestore(run, *extent, copied, clock, imageBytes);
    if (outcome == Outcome::Failed) return outcome;
    if (outcome == Outcome::Done && options.verify &&
        !Verify(run.Target(), *run.image, job.begin, job.end, *run.buffers))
        outcome = Outcome::Failed;
    // The partition's own handle goes first: the system does not resize an open partition.
    if (run.volume) disk::UnlockVolume(run.volume.get());
    run.volume.reset();
    run.disk->UpdateProperties();
    return outcome;
}

void CloseRestore(RestoreRun& run) {
    run.buffers.reset();
    run.image.reset();
    std::vector<disk::DiskHandlePtr*> handles = {&run.volume, &run.disk};
    for (disk::DiskHandlePtr& other : run.others) handles.push_back(&other);
    for (disk::DiskHandlePtr* handle : handles)
        if (*handle) {
            disk::UnlockVolume(handle->get());
            handle->reset();
        }
    if (core::TransferCancelFlag != 0) core::DrawStatus("Restore Cancelled");
    core::TransferCancelFlag = 0;
    core::BusyFlag = 0;
    disk::RefreshDriveList();
    ui::Toolkit& ui = ui::UI();
    ui.EnableControl(core::DriveTree, true);
    ui.SetText(core::RestoreButton, "Restore Partition");
}

void BeginOperation() {
    core::BusyFlag = 1;
    ui::UI().EnableControl(core::DriveTree, false);
}

}  // namespace

const std::vector<ui::FileFilter>& ImageFileFilters() {
    static const std::vector<ui::FileFilter> filters = {
        {"Binary (*.bin)", "*.bin"},
        {"HFS/HFS+ (*.hfs)", "*.hfs"},
        {"HFS/HFS+/Binary (*.hfs;*.bin)", "*.hfs;*.bin"},
        {"All files (*.*)", "*.*"},
    };
    return filters;
}

Outcome Backup(const ImagingOptions& options) {
    BeginOperation();
    BackupRun run;
    Outcome outcome = RunBackup(run, options);
    CloseBackup(run);
    return outcome;
}

Outcome Restore(const ImagingOptions& options) {
    BeginOperation();
    RestoreRun run;
    Outcome outcome = RunRestore(run, options);
    CloseRestore(run);
    return outcome;
}

void BackupPartition(int32_t) { Backup(); }
void RestorePartition(int32_t) { Restore(); }

}  // namespace imaging
