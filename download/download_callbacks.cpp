#include "download/download_callbacks.h"

#include "core/progress.h"
#include "core/state.h"
#include "disk/format_size.h"
#include "platform/path_parts.h"
#include "ui/toolkit.h"

namespace download {
namespace {

constexpr int64_t kReportPauseMs = 3000;
constexpr int64_t kStatusPauseMs = 2000;

// received × 100 / total, rounded to the nearest integer; total must be above 0.
int32_t Percent(int64_t received, int64_t total) {
    return int32_t((received * 100 + total / 2) / total);
}

std::string PercentPrefix(int64_t received, int64_t total) {
    return total > 0 ? std::to_string(Percent(received, total)) + "% " : "";
}

}  // namespace

ProgressCaption DownloadProgressCaption(const std::string& fileName, int64_t received,
                                        int64_t total, int64_t seconds) {
    std::string caption = platform::FileNamePart(fileName) + " (" + disk::FormatSize(received, 1) +
                          "/" + (total > 0 ? disk::FormatSize(total, 1) : "Unknown") + ")";
    if (seconds > 0) {
        int64_t speed = received / seconds;
        caption += " " + disk::FormatSize(speed, 1) + "/s";
        // No remaining time to show for an unknown total or while nothing moves.
        if (total >= received && speed > 0)
            caption += " Remain: " + core::FormatDuration((total - received) / speed);
    }
    return {total > 0 ? Percent(received, total) : 0, PercentPrefix(received, total) + caption};
}

ProgressCaption ResumeNoticeCaption(int64_t received, int64_t total, int32_t attempt) {
    return {total > 0 ? Percent(received, total) : 0,
            PercentPrefix(received, total) + "ERROR, Attempt to resume downloading, #" +
                std::to_string(attempt) + " ..."};
}

int32_t ShowConnecting(DownloadRequest&, platform::HttpRequest&) {
    core::DrawStatus("Connecting ... Wait Please", 0);
    return 0;
}

int32_t ShowDownloadProgress(DownloadRequest& request, int64_t received, int64_t total,
                             int64_t seconds) {
    ProgressCaption caption = DownloadProgressCaption(request.FileName, received, total, seconds);
    core::DrawStatus(caption.text, caption.percent);
    if (core::TransferCancelFlag != 0) {
        core::DrawStatus("File " + platform::FileNamePart(request.FileName) + " Download aborted",
                         0);
        return 0;
    }
    return 1;
}

int32_t ReportDownloadResult(DownloadRequest& request, int32_t code, int64_t, int64_t, int64_t) {
    core::ReadingPause(kReportPauseMs);
    core::DrawStatus("", 0);
    if (code == kDownloadOk) return 0;
    std::string text = DownloadResultText(request, code);
    core::ShowStatus(text, kStatusPauseMs);
    bool aborted = code == kDownloadAborted;
    ui::UI().MessageBox(aborted ? "Information" : "Error", text,
                        aborted ? ui::Icon::Information : ui::Icon::Warning, ui::Buttons::Ok);
    return 0;
}

}  // namespace download
