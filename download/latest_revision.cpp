#include "download/latest_revision.h"

#include <mutex>
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

std::string FoundRevisions(std::vector<int32_t> revisions) {
    std::lock_guard lock(core::RevisionsLock);
    core::DownloadRevisions = std::move(revisions);
    core::CloverLastRev = std::to_string(core::DownloadRevisions.front());
    core::CloverLastRevCheckDate = LocalNow();
    core::DownloadRevision = core::CloverLastRev;
    return core::CloverLastRev;
}

void ForgetRevisionsShown() {
    if (!ui::UI().WindowExists(core::ConfigurationWindow)) return;
    std::lock_guard lock(core::RevisionsLock);
    core::DownloadRevisions.clear();
}

}  // namespace

int32_t ParseRevisionListing(DownloadRequest& request, int32_t code, int64_t, int64_t, int64_t) {
    std::string text;
    {
        std::lock_guard lock(core::RevisionsLock);
        core::CloverLastRev = "0";
    }
    if (code == kDownloadOk) {
        std::vector<int32_t> revisions = RevisionsInListing(request.Buffer.text());
        if (revisions.empty()) {
            request.Result = kNoArchiveNamed;
            ui::UI().MessageBox("Error",
                                "Not Found standart Clover archive distribution file:\r\n"
                                "CloverISO-NNNN.tar.lzma",
                                ui::Icon::Warning, ui::Buttons::Ok);
        } else {
            std::string revision = FoundRevisions(std::move(revisions));
            text = "Found Latest Clover r" + revision;
            if (ui::UI().WindowExists(core::MainWindow))
                ui::UI().SetMenuTitle(core::LatestCloverMenu, " Latest Clover: r" + revision);
            ShowInConfiguration(true);
        }
    } else {
        text = FailureText(request, code);
        ForgetRevisionsShown();
        ShowInConfiguration(false);
    }
    core::ShowStatus(text, kStatusPauseMs);
    request.Buffer.Release();
    return 0;
}

core::Outcome RunRevisionCheck(platform::HttpTransport& transport) {
    DownloadRequest request;
    request.Url = CloverListingUrl();
    request.Mode = kIntoMemory;
    request.BlockSize = kListingBlockSize;
    request.MaxResumeAttempts = kListingResumeAttempts;
    request.OnFinished = ParseRevisionListing;
    HttpDownload(request, transport);
    return request.Result == kDownloadOk ? core::Outcome::Done : core::Outcome::Failed;
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
