// The latest Clover revision: the project's ISO folder is listed and the revisions of
// the archives named there become the ones offered for download.
#pragma once

#include <cstdint>
#include <functional>

#include "core/outcome.h"
#include "download/http_download.h"

namespace download {

// The check on the calling thread: a revision was found (Done) or not (Failed). The
// finding goes to CloverLastRev, CloverLastRevCheckDate, DownloadRevision and
// DownloadRevisions, to the main window's menu title and to the configuration dialog;
// the status line says how it went.
core::Outcome RunRevisionCheck(platform::HttpTransport& transport);
core::Outcome RunRevisionCheck();

// The check for a worker that needs a revision now: waits for a running check or
// download to end (at most kDownloadWaitMs), then checks on the calling thread.
core::Outcome CheckLatestRevisionInTurn();

// The thread body of the check; the download slot is released at its end unless
// clearThreadHandle is 0. Returns 0.
int32_t CheckLatestRevision(int32_t clearThreadHandle);

// The check's finish callback: reads the listing the transfer received.
int32_t ParseRevisionListing(DownloadRequest& request, int32_t code, int64_t received,
                             int64_t total, int64_t seconds);

// The configuration dialog shows each check while it is open: it registers what to do
// then (found: the check found a revision; the globals above hold it). The check calls
// it only while the dialog's window exists, after it has updated the globals.
using RevisionCheckView = std::function<void(bool found)>;
void SetRevisionCheckView(RevisionCheckView view);

}  // namespace download
