// The standard callbacks of a transfer: the connection notice, the progress caption on
// the main status line (which also honours the transfer cancel request) and the final
// report of the result.
#pragma once

#include <cstdint>
#include <string>

#include "download/http_download.h"

namespace download {

// Draws "Connecting ... Wait Please" at 0 %; returns 0.
int32_t ShowConnecting(DownloadRequest& request, platform::HttpRequest& handle);

// Draws the progress caption; returns 0 (with "... Download aborted" drawn) when the
// transfer cancel flag is raised, else 1.
int32_t ShowDownloadProgress(DownloadRequest& request, int64_t received, int64_t total,
                             int64_t seconds);

// Waits 3 s, clears the progress bar, then shows the text of every code but success on
// the status line and in a message box. Returns 0.
int32_t ReportDownloadResult(DownloadRequest& request, int32_t code, int64_t received,
                             int64_t total, int64_t seconds);

// One drawing of the progress caption. Without a known total there is no percentage and
// no remaining time; without a speed above 0 there is no remaining time.
struct ProgressCaption {
    int32_t percent = 0;
    std::string text;
};
ProgressCaption DownloadProgressCaption(const std::string& fileName, int64_t received,
                                        int64_t total, int64_t seconds);

// "12% ERROR, Attempt to resume downloading, #2 ..."; no percentage without a total.
ProgressCaption ResumeNoticeCaption(int64_t received, int64_t total, int32_t attempt);

}  // namespace download
