// The latest Clover revision: the project's ISO folder on SourceForge is listed and its
// GitHub releases are asked for, and the revisions of the archives named there become
// the ones offered for download, each remembered with where it was found.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/outcome.h"
#include "download/github_releases.h"
#include "download/http_download.h"

namespace download {

// Where the last check that found revisions found one of them.
struct RevisionOrigin {
    bool sourceForge = false;
    std::optional<GithubArchive> github;
};
// Nothing when no such check found that revision.
RevisionOrigin OriginOf(int32_t revision);
// "GitHub", "SourceForge" or both, comma-separated; "" for nothing.
std::string OriginText(const RevisionOrigin& origin);

// The check on the calling thread: a revision was found (Done) or not (Failed). The
// sources are asked one after the other; one that does not answer leaves the check to
// the other, and the status line says so. The finding goes to CloverLastRev,
// CloverLastRevCheckDate, DownloadRevision and DownloadRevisions, to the main window's
// menu title and to the configuration dialog; the status line says how it went.
core::Outcome RunRevisionCheck(platform::HttpTransport& transport);
core::Outcome RunRevisionCheck();

// The check for a worker that needs a revision now: waits for a running check or
// download to end (at most kDownloadWaitMs), then checks on the calling thread.
core::Outcome CheckLatestRevisionInTurn();

// The thread body of the check; the download slot is released at its end unless
// clearThreadHandle is 0. Returns 0.
int32_t CheckLatestRevision(int32_t clearThreadHandle);

// The finish callback of the SourceForge listing when no GitHub releases were read:
// reads the listing the transfer received.
int32_t ParseRevisionListing(DownloadRequest& request, int32_t code, int64_t received,
                             int64_t total, int64_t seconds);

// The configuration dialog shows each check while it is open: it registers what to do
// then (found: the check found a revision; the globals above hold it). The check calls
// it only while the dialog's window exists, after it has updated the globals.
using RevisionCheckView = std::function<void(bool found)>;
void SetRevisionCheckView(RevisionCheckView view);

}  // namespace download
