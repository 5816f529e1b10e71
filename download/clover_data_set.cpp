#include "download/clover_data_set.h"

#include <atomic>
#include <cstdlib>
#include <optional>

#include "core/progress.h"
#include "core/settings.h"
#include "core/state.h"
#include "download/clover_addresses.h"
#include "download/download_callbacks.h"
#include "download/download_slot.h"
#include "download/file_digest.h"
#include "download/http_download.h"
#include "download/latest_revision.h"
#include "download/system_error.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/threads.h"
#include "resources/packed_resources.h"
#include "resources/temp_folder.h"
#include "resources/tool_run.h"
#include "resources/unpack_archive.h"
#include "ui/toolkit.h"

namespace download {
namespace {

constexpr int32_t kArchiveBlockSize = 524288;
constexpr int32_t kStillRunning = -1;
constexpr int64_t kStatusMs = 2000;

// Where a revision's archive comes from: GitHub where the last check found it there (an
// ISO image in a 7z, with the SHA-256 digest GitHub publishes), else SourceForge.
struct ArchiveSource {
    std::string url;
    std::string fileName;               // in the temporary folder
    std::optional<std::string> sha256;  // GitHub's archives only; "" when none published
};

ArchiveSource SourceOf(const std::string& revision) {
    std::optional<GithubArchive> github = OriginOf(std::atoi(revision.c_str())).github;
    if (github) return {github->url, GithubArchiveFileName(revision), github->sha256};
    return {CloverArchiveUrl(revision), CloverArchiveName(revision), std::nullopt};
}

// The transfer of the download thread and where it came from; the worker reads them only
// once the thread ended.
DownloadRequest archiveDownload;
ArchiveSource archiveSource;
std::atomic<int32_t> archiveResult{kStillRunning};
// Raised by a worker that gave up waiting: the transfer ends and reports nothing, the
// worker has said why.
std::atomic<bool> archiveStopped{false};

void ShowError(const std::string& title, const std::string& text) {
    ui::UI().MessageBox(title, text, ui::Icon::Error, ui::Buttons::Ok);
}

std::string Extension(const std::string& name) {
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? "" : name.substr(dot);
}

// The archiver and the script after their run: "7z.*" and the scripts ("*.bat" where
// scripts are batch files), and the script's working folder.
void RemoveTools(const std::string& workFolder) {
    platform::RemoveTree(workFolder);
    std::string scriptExtension = Extension(resources::CloverScriptFileName);
    for (const platform::FolderEntry& entry : platform::ListFolder(core::TempFolder)) {
        const std::string& name = entry.name;
        if (!entry.folder && (name.starts_with("7z.") || name == resources::ArchiverFileName ||
                              name.ends_with(scriptExtension)))
            platform::RemoveFile(platform::JoinPath(core::TempFolder, name));
    }
    platform::SetHidden(core::TempFolder);
}

bool UnpackTools() {
    const std::string& folder = core::TempFolder;
    return resources::UnpackArchive(resources::SevenZipPack, folder, true, "", false, true) &&
           resources::UnpackArchive(resources::CloverScriptPack, folder, true, "", false, true);
}

// The download on its thread, waited for at most the limit; its result code, or
// kStillRunning after a timeout. Either way the thread has ended: a transfer still going
// would write into a folder that is about to go (and keep it on Windows).
int32_t AwaitArchive(std::jthread& thread) {
    bool ended = WaitUntil([] { return archiveResult != kStillRunning; }, kDownloadWaitMs);
    if (!ended) archiveStopped = true;
    thread.join();
    return ended ? archiveResult.load() : kStillRunning;
}

int32_t ReportUnlessStopped(DownloadRequest& request, int32_t code, int64_t received, int64_t total,
                            int64_t seconds) {
    if (archiveStopped) return 0;
    return ReportDownloadResult(request, code, received, total, seconds);
}

// A GitHub archive against its published digest, before anything is extracted from it;
// one that does not match is removed.
bool MatchesPublishedDigest(const std::string& archive, const std::string& digest,
                            const std::string& revision) {
    const std::string name = "Clover r" + revision;
    if (digest.empty()) {
        core::ShowStatus(name + ": GitHub publishes no SHA-256 digest, not checked", kStatusMs);
        return true;
    }
    std::string actual = FileDigestHex(archive, platform::NewSha256());
    if (actual == digest) {
        core::ShowStatus(name + " matches the SHA-256 digest GitHub publishes", kStatusMs);
        return true;
    }
    platform::RemoveFile(archive);
    core::ShowStatus(actual.empty() ? "Digest Error: cannot compute the SHA-256 of " + name
                                    : "Digest Error: " + name +
                                          " does not match the SHA-256 digest GitHub "
                                          "publishes; not installed, file removed",
                     kStatusMs);
    return false;
}

void SaveToRepository(const std::string& dataSet, const std::string& name) {
    if (uint32_t error = platform::CopyFileReplacing(
            dataSet, platform::JoinPath(core::CloverLocalRepository, name))) {
        ShowSystemError(error);
        return;
    }
    core::DrawStatus(name + " Saved to Clover Local Repo");
    core::ReadingPause(4000);
}

core::Outcome Install(const std::string& target) {
    const std::string revision = core::DownloadRevision;
    const std::string dataSetName = CloverDataSetName(revision);
    if (!resources::CreateTempFolder()) {
        ShowError("Error!", "Can't create TEMP folder!" + core::TempFolder);
        return core::Outcome::Failed;
    }
    const std::string dataSet = core::TempFolder + dataSetName;
    if (!UnpackTools()) {
        ShowError("Error", "Can't Unpack Internal Resourses!");
        return core::Outcome::Failed;
    }
    resources::HideTempFolderEntries();
    std::jthread download = StartCloverDownload();
    if (!download.joinable()) {
        ShowError("Error!", "Can't download Latest Clover.");
        return core::Outcome::Failed;
    }
    int32_t result = AwaitArchive(download);
    if (result == kStillRunning) {
        ShowError("Error!", "Can't download Latest Clover: Timeout " +
                                std::to_string(kDownloadWaitMs / 1000) + " secs.");
        return core::Outcome::Failed;
    }
    // The finish callback has told the user why.
    if (result == kDownloadAborted) return core::Outcome::Cancelled;
    if (result != kDownloadOk) return core::Outcome::Failed;

    core::DrawStatus("Clover r" + revision + " Downloaded");
    core::ReadingPause(300);
    if (archiveSource.sha256 &&
        !MatchesPublishedDigest(archiveDownload.FileName, *archiveSource.sha256, revision))
        return core::Outcome::Failed;
    // The tool run hides the folder's entries again, the download's archive with them.
    int exitCode = resources::RunUnpackedTool(core::TempFolder + resources::CloverScriptFileName,
                                              {archiveSource.fileName}, core::TempFolder, true);
    // The script also ends with 0 when the archiver found no ISO in the download; a set
    // without the boot file at its root boots nothing.
    const std::string workFolder = core::TempFolder + "CloverISO-" + revision;
    bool extracted = exitCode == 0 && platform::FileExists(platform::JoinPath(workFolder, "boot"));
    RemoveTools(workFolder);
    if (!extracted) {
        ShowError("Error!", "Error Extract Latest Clover Data Set.");
        return core::Outcome::Failed;
    }

    bool copied = platform::FileSize(dataSet) > 0 &&
                  resources::UnpackArchive({}, target, false, dataSet, true, false);
    // A cancel during the extraction leaves part of the set: not installed, and no error.
    if (core::CancelFlag != 0) return core::Outcome::Cancelled;
    if (!copied) {
        ShowError("Error!", "Error Copy the Latest Clover Data Set to Selected Drive.");
        return core::Outcome::Failed;
    }
    if (core::SaveLatestCloverAfterDL == 1) SaveToRepository(dataSet, dataSetName);
    return core::Outcome::Done;
}

}  // namespace

core::Outcome InstallCloverDataSet(const std::string& target) {
    resources::TempFolderOwner temporary;
    return Install(target);
}

std::jthread StartCloverDownload() {
    if (!ClaimDownloadSlot()) return {};
    archiveResult = kStillRunning;
    archiveStopped = false;
    return platform::StartThread<std::jthread>([] { DownloadCloverArchive(0); });
}

int32_t DownloadCloverArchive(int32_t) {
    archiveDownload = {};
    archiveSource = SourceOf(core::DownloadRevision);
    archiveDownload.Url = archiveSource.url;
    archiveDownload.Mode = kIntoFile;
    archiveDownload.BlockSize = kArchiveBlockSize;
    archiveDownload.MaxResumeAttempts = core::ResumeMaxAttemptsNumber;
    archiveDownload.OnConnected = ShowConnecting;
    archiveDownload.OnProgress = ShowDownloadProgress;
    archiveDownload.OnFinished = ReportUnlessStopped;
    archiveDownload.StopRequested = [] { return archiveStopped.load(); };
    archiveDownload.FileName = core::TempFolder + archiveSource.fileName;
    int32_t result = HttpDownload(archiveDownload);
    archiveResult = result;
    ReleaseDownloadSlot();
    return 0;
}

}  // namespace download
