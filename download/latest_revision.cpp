#include "download/latest_revision.h"

#include <algorithm>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "core/ids.h"
#include "core/progress.h"
#include "core/settings.h"
#include "core/state.h"
#include "download/clover_addresses.h"
#include "download/download_slot.h"
#include "download/revision_listing.h"
#include "platform/clock.h"
#include "platform/http_transport.h"
#include "ui/toolkit.h"

namespace download {
namespace {

constexpr int32_t kListingBlockSize = 1048576;
constexpr int32_t kListingResumeAttempts = 10;
constexpr int32_t kNoArchiveNamed = 6;
constexpr int64_t kStatusPauseMs = 2000;

std::mutex viewLock;
RevisionCheckView& View() {
    static RevisionCheckView view;
    return view;
}

// The view is called outside the lock: it calls the interface thread, which may be
// registering a view at that moment.
void ShowInConfiguration(bool found) {
    if (!ui::UI().WindowExists(core::ConfigurationWindow)) return;
    RevisionCheckView view;
    {
        std::lock_guard lock(viewLock);
        view = View();
    }
    if (view) view(found);
}

// Now as the settings file writes dates, in local time.
std::string LocalNow() {
    int64_t now = platform::SystemClock().NowUnixSeconds();
    return core::FormatSettingsDate(now + platform::LocalTimeOffsetSeconds(now));
}

// The texts of a failed listing transfer; codes of resumed transfers cannot arise here.
std::string FailureText(const DownloadRequest& request, int32_t code) {
    if (code == kBadParameters) return "Check procedure parameters";
    return DownloadResultText(request, code);
}

// What one source told: the revisions it names, or why it told nothing.
struct SourceFinding {
    bool asked = false;
    bool answered = false;  // read, with or without revisions in it
    std::vector<int32_t> revisions;
    std::string failure;  // asked and not answered: what the status line says
};

struct GithubFinding : SourceFinding {
    std::vector<GithubArchive> archives;
};

// Where the revisions of DownloadRevisions were found; guarded by RevisionsLock.
std::map<int32_t, RevisionOrigin> origins;

std::vector<int32_t> Merged(const SourceFinding& one, const SourceFinding& other) {
    std::vector<int32_t> merged = one.revisions;
    merged.insert(merged.end(), other.revisions.begin(), other.revisions.end());
    std::sort(merged.begin(), merged.end(), std::greater<>());
    merged.erase(std::unique(merged.begin(), merged.end()), merged.end());
    return merged;
}

std::string FoundRevisions(const SourceFinding& sourceForge, const GithubFinding& github) {
    std::lock_guard lock(core::RevisionsLock);
    core::DownloadRevisions = Merged(sourceForge, github);
    origins.clear();
    for (int32_t revision : sourceForge.revisions) origins[revision].sourceForge = true;
    for (const GithubArchive& archive : github.archives) origins[archive.revision].github = archive;
    core::CloverLastRev = std::to_string(core::DownloadRevisions.front());
    core::CloverLastRevCheckDate = LocalNow();
    core::DownloadRevision = core::CloverLastRev;
    return core::CloverLastRev;
}

void ForgetRevisionsShown() {
    if (!ui::UI().WindowExists(core::ConfigurationWindow)) return;
    std::lock_guard lock(core::RevisionsLock);
    core::DownloadRevisions.clear();
    origins.clear();
}

GithubFinding ReadGithubReleases(platform::HttpTransport& transport) {
    GithubFinding finding;
    finding.asked = GithubAsked();
    if (!finding.asked) return finding;
    DownloadRequest request;
    request.Url = GithubReleasesUrl();
    request.Mode = kIntoMemory;
    request.BlockSize = kListingBlockSize;
    request.MaxResumeAttempts = kListingResumeAttempts;
    HttpDownload(request, transport);
    std::optional<std::vector<GithubArchive>> archives;
    if (request.Result == kDownloadOk) archives = ArchivesInReleases(request.Buffer.text());
    // 403 and 429: the API's limit for clients that do not sign in.
    if (request.Result == kHttpStatusError &&
        (request.HttpStatus == 403 || request.HttpStatus == 429))
        finding.failure =
            "GitHub's API limit is reached (HTTP " + std::to_string(request.HttpStatus) + ")";
    else if (request.Result != kDownloadOk)
        finding.failure =
            "GitHub's releases were not read (" + FailureText(request, request.Result) + ")";
    else if (!archives)
        finding.failure = "GitHub's releases were not read (no release list in the answer)";
    if (!archives) return finding;
    finding.answered = true;
    finding.archives = std::move(*archives);
    for (const GithubArchive& archive : finding.archives)
        finding.revisions.push_back(archive.revision);
    return finding;
}

SourceFinding ReadListing(DownloadRequest& request, int32_t code) {
    SourceFinding finding;
    finding.asked = true;
    finding.answered = code == kDownloadOk;
    if (finding.answered)
        finding.revisions = RevisionsInListing(request.Buffer.text());
    else
        finding.failure = FailureText(request, code);
    return finding;
}

void ShowFound(const std::string& revision) {
    if (ui::UI().WindowExists(core::MainWindow))
        ui::UI().SetMenuTitle(core::LatestCloverMenu, " Latest Clover: r" + revision);
    ShowInConfiguration(true);
    core::ShowStatus("Found Latest Clover r" + revision, kStatusPauseMs);
}

// Both findings into the globals, the status line, the menu and the dialog; true when
// either source named a revision. A listing read without any archive name, and nothing
// from GitHub either, is the one failure with a box.
bool ReportFindings(const SourceFinding& sourceForge, const GithubFinding& github) {
    {
        std::lock_guard lock(core::RevisionsLock);
        core::CloverLastRev = "0";
    }
    if (!sourceForge.revisions.empty() || !github.revisions.empty()) {
        if (!github.failure.empty())
            core::ShowStatus(github.failure + ": revisions from SourceForge only", kStatusPauseMs);
        if (!sourceForge.failure.empty())
            core::ShowStatus("SourceForge's listing was not read (" + sourceForge.failure +
                                 "): revisions from GitHub only",
                             kStatusPauseMs);
        ShowFound(FoundRevisions(sourceForge, github));
        return true;
    }
    // An empty text shows nothing and waits not.
    core::ShowStatus(github.failure, kStatusPauseMs);
    core::ShowStatus(sourceForge.failure, kStatusPauseMs);
    if (!sourceForge.asked && !github.asked)
        core::ShowStatus(
            "No source of Clover revisions: STICKFORGE_CLOVER_HOST and "
            "STICKFORGE_GITHUB_API are off",
            kStatusPauseMs);
    if (sourceForge.answered) {
        ui::UI().MessageBox("Error",
                            "Not Found standart Clover archive distribution file:\r\n"
                            "CloverISO-NNNN.tar.lzma",
                            ui::Icon::Warning, ui::Buttons::Ok);
    } else {
        ForgetRevisionsShown();
        ShowInConfiguration(false);
    }
    return false;
}

// The end of the listing transfer, with what GitHub told before it.
bool FinishListing(DownloadRequest& request, int32_t code, const GithubFinding& github) {
    SourceFinding sourceForge = ReadListing(request, code);
    bool found = ReportFindings(sourceForge, github);
    if (!found && sourceForge.answered) request.Result = kNoArchiveNamed;
    request.Buffer.Release();
    return found;
}

}  // namespace

RevisionOrigin OriginOf(int32_t revision) {
    std::lock_guard lock(core::RevisionsLock);
    auto origin = origins.find(revision);
    return origin == origins.end() ? RevisionOrigin{} : origin->second;
}

std::string OriginText(const RevisionOrigin& origin) {
    if (origin.github && origin.sourceForge) return "GitHub, SourceForge";
    if (origin.github) return "GitHub";
    return origin.sourceForge ? "SourceForge" : "";
}

int32_t ParseRevisionListing(DownloadRequest& request, int32_t code, int64_t, int64_t, int64_t) {
    FinishListing(request, code, {});
    return 0;
}

core::Outcome RunRevisionCheck(platform::HttpTransport& transport) {
    GithubFinding github = ReadGithubReleases(transport);
    bool found = false;
    if (!SourceForgeAsked()) {
        found = ReportFindings({}, github);
    } else {
        DownloadRequest request;
        request.Url = CloverListingUrl();
        request.Mode = kIntoMemory;
        request.BlockSize = kListingBlockSize;
        request.MaxResumeAttempts = kListingResumeAttempts;
        request.OnFinished = [&](DownloadRequest& listing, int32_t code, int64_t, int64_t,
                                 int64_t) {
            found = FinishListing(listing, code, github);
            return 0;
        };
        HttpDownload(request, transport);
    }
    return found ? core::Outcome::Done : core::Outcome::Failed;
}

core::Outcome RunRevisionCheck() { return RunRevisionCheck(platform::SystemHttp()); }

core::Outcome CheckLatestRevisionInTurn() {
    if (!AwaitDownloadSlot(kDownloadWaitMs)) return core::Outcome::Failed;
    core::Outcome outcome = RunRevisionCheck();
    ReleaseDownloadSlot();
    return outcome;
}

int32_t CheckLatestRevision(int32_t clearThreadHandle) {
    RunRevisionCheck();
    if (clearThreadHandle != 0) ReleaseDownloadSlot();
    return 0;
}

void SetRevisionCheckView(RevisionCheckView view) {
    std::lock_guard lock(viewLock);
    View() = std::move(view);
}

}  // namespace download
