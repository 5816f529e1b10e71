#include "recovery/download_recovery.h"

#include <system_error>
#include <thread>

#include "core/ids.h"
#include "core/progress.h"
#include "core/settings.h"
#include "core/state.h"
#include "disk/drive_list.h"
#include "download/download_callbacks.h"
#include "download/download_slot.h"
#include "platform/files.h"
#include "platform/path_parts.h"
#include "platform/paths.h"
#include "platform/threads.h"
#include "recovery/internet_recovery.h"
#include "recovery/package_check.h"
#include "resources/dmg_extract.h"
#include "resources/hfs_images.h"
#include "resources/packed_resources.h"
#include "resources/temp_folder.h"
#include "resources/tool_run.h"
#include "resources/unpack_archive.h"
#include "resources/zip_entry_path.h"
#include "ui/toolkit.h"

namespace recovery {
namespace {

using core::Outcome;

constexpr int32_t kBlockSize = 1048576;
constexpr int64_t kStatusMs = 2000;

void ErrorBox(const char* title, const std::string& text) {
    ui::UI().MessageBox(title, text, ui::Icon::Error, ui::Buttons::Ok);
}

// Runs the transfer on a download thread of its own and waits for it; false (with the
// box) when no thread could be started.
bool TransferPackage(const core::RecoveryEntry& entry, download::DownloadRequest& request) {
    try {
        std::thread transfer =
            platform::StartThread([&] { DownloadRecoveryPackage(entry, request); });
        transfer.join();
    } catch (const std::system_error&) {
        ErrorBox("Error!", "Can't download HDRecovery for MAC OS X " + entry.Title);
        return false;
    }
    return true;
}

Outcome ExtractPackage(const std::string& package, std::vector<std::string>& images) {
    std::string name = platform::FileNamePart(package);
    core::ShowStatus("Extracting HFS-Image from " + name + " ...", kStatusMs);
    resources::HfsStaging staging(core::SFKImageLocalRepo);
    int code = resources::RunUnpackedTool(
        platform::JoinPath(core::TempFolder, resources::RecoveryScriptFileName),
        {name, staging.Folder()}, core::TempFolder, true);
    if (code == 0) images = staging.Publish();
    if (staging.Declined()) return Outcome::Cancelled;
    // The script also ends with 0 when the disk image held no HFS partition.
    if (code == 0 && images.empty()) code = 4;
    if (code != 0) {
        core::ShowStatus("Extract HFS-Image from " + name + " ErrorCode: " + std::to_string(code),
                         kStatusMs);
        return Outcome::Failed;
    }
    core::ShowStatus("Done", kStatusMs);
    return Outcome::Done;
}

// The image of an Internet Recovery entry, checked, and its HFS image beside it.
Outcome FetchAndExtract(const InternetRecoveryVersion& version, std::vector<std::string>& images) {
    std::string dmg;
    if (Outcome fetched = FetchRecoveryImage(version, dmg); fetched != Outcome::Done)
        return fetched;
    std::string name = platform::FileNamePart(dmg);
    core::ShowStatus("Extracting HFS-Image from " + name + " ...", kStatusMs);
    Outcome extracted = resources::ExtractHfsImages(dmg, platform::FolderPart(dmg), true, images);
    if (extracted == Outcome::Failed)
        core::ShowStatus("Extract HFS-Image from " + name + " failed", kStatusMs);
    if (extracted != Outcome::Done) return extracted;
    core::ShowStatus("Done", kStatusMs);
    return Outcome::Done;
}

// Steps that need the temporary folder; it goes when they end, whatever happened.
Outcome DownloadAndExtract(core::RecoveryEntry& entry, std::vector<std::string>& images) {
    if (!resources::CreateTempFolder()) {
        ErrorBox("Error!", "Can't create TEMP folder!" + core::TempFolder);
        return Outcome::Failed;
    }
    if (!resources::UnpackArchive(resources::SevenZipPack, core::TempFolder, true, "", false,
                                  true) ||
        !resources::UnpackArchive(resources::RecoveryScriptPack, core::TempFolder, true, "", false,
                                  true)) {
        ErrorBox("Error", "Can't Unpack Internal Resourses!");
        return Outcome::Failed;
    }
    resources::HideTempFolderEntries();
    if (InternetRecoveryVersion version; ReadInternetRecoveryAddress(entry.URL, version))
        return FetchAndExtract(version, images);
    entry.ScriptName = resources::RecoveryScriptFileName;

    download::DownloadRequest request;
    if (!TransferPackage(entry, request)) return Outcome::Failed;
    if (request.Result != download::kDownloadOk)
        return core::TransferCancelFlag != 0 || request.Result == download::kDownloadAborted
                   ? Outcome::Cancelled
                   : Outcome::Failed;
    if (!PackageMatchesCatalog(request.FileName, entry)) return Outcome::Failed;
    core::ShowStatus(platform::FileNamePart(request.FileName) + " Downloaded", 1000);
    resources::HideTempFolderEntries();
    return ExtractPackage(request.FileName, images);
}

// The operation's flags and button caption, restored when it ends.
class BusyOperation {
public:
    BusyOperation() {
        core::TransferCancelFlag = 0;
        ui::UI().SetText(core::RecoveryButton, "Cancel DL");
    }
    ~BusyOperation() {
        core::BusyFlag = 0;
        core::TransferCancelFlag = 0;
        ui::UI().SetText(core::RecoveryButton, "DL HD Recovery");
        disk::RefreshDriveList();
    }
    BusyOperation(const BusyOperation&) = delete;
    BusyOperation& operator=(const BusyOperation&) = delete;
};

}  // namespace

std::string RecoverySummaryText(const std::string& title) {
    return "\tSummary Information:\r\n\r\nDL HD Recovery file For MACOSX \"" + title +
           "\" ........... Success\r\n"
           "Extract HFS-Image from HD Recovery file ................. Success\r\n\r\n"
           "An SFKImage file can be restored to the required Partition\r\n"
           "using the button [Restore ...].";
}

void DownloadRecoveryPackage(const core::RecoveryEntry& entry, download::DownloadRequest& request) {
    request = {};
    request.Url = entry.URL;
    request.Mode = download::kIntoFile;
    request.BlockSize = kBlockSize;
    request.MaxResumeAttempts = core::ResumeMaxAttemptsNumber;
    request.OnProgress = download::ShowDownloadProgress;
    request.OnFinished = download::ReportDownloadResult;
    // The query and fragment are no part of the file's name.
    std::string name = platform::FileNamePart(entry.URL.substr(0, entry.URL.find_first_of("?#")));
    // A name that is no file would put the download beside the folder, onto it or onto a
    // device; one already there would replace the archiver or the script.
    std::string target = platform::JoinPath(core::TempFolder, name);
    if (!resources::IsPortableFileName(name) || platform::FileExists(target) ||
        platform::FolderExists(target)) {
        request.Result = download::kBadParameters;
        download::ReportDownloadResult(request, request.Result, 0, 0, 0);
    } else {
        request.FileName = target;
        download::HttpDownload(request);
    }
}

namespace {

Outcome RefuseBesideDownload() {
    core::ShowStatus("DL HD Recovery ... Wait: another download is running", kStatusMs);
    return Outcome::Refused;
}

// The run of one entry; the caller holds the download slot.
Outcome DownloadEntry(core::RecoveryEntry entry, std::vector<std::string>& images) {
    int32_t idle = 0;
    if (!core::BusyFlag.compare_exchange_strong(idle, 1)) {
        core::ShowStatus("DL HD Recovery ... Wait: another operation is running", kStatusMs);
        return Outcome::Refused;
    }
    BusyOperation busy;
    Outcome outcome;
    {
        resources::TempFolderOwner temporary;  // the package never outlives the operation
        outcome = DownloadAndExtract(entry, images);
    }
    if (outcome != Outcome::Done) return outcome;
    // An Internet Recovery image stays where it was fetched: its path goes into the box.
    InternetRecoveryVersion version;
    std::string summary = RecoverySummaryText(entry.Title);
    if (ReadInternetRecoveryAddress(entry.URL, version))
        for (const std::string& image : images) summary += "\r\n\r\n" + image;
    ui::UI().MessageBox("Info", summary, ui::Icon::Information, ui::Buttons::Ok);
    return outcome;
}

}  // namespace

Outcome RunRecoveryDownload(int32_t entryIndex, std::vector<std::string>& images) {
    images.clear();
    // Held for the whole run: the list update, the revision check and the Clover download
    // wait their turn, and the entry cannot change while it is read.
    download::HeldDownloadSlot slot;
    if (!slot.Held()) return RefuseBesideDownload();
    std::vector<core::RecoveryEntry> entries = core::RecoveryListCopy();
    if (entryIndex < 0 || size_t(entryIndex) >= entries.size()) return Outcome::Refused;
    return DownloadEntry(entries[size_t(entryIndex)], images);
}

Outcome RunRecoveryDownload(const core::RecoveryEntry& entry, std::vector<std::string>& images) {
    images.clear();
    download::HeldDownloadSlot slot;
    if (!slot.Held()) return RefuseBesideDownload();
    return DownloadEntry(entry, images);
}

void DownloadRecoveryHD(int32_t entryIndex) {
    std::vector<std::string> images;
    RunRecoveryDownload(entryIndex, images);
}

}  // namespace recovery
