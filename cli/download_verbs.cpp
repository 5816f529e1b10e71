#include "cli/download_verbs.h"

#include <cstdio>

#include "cli/failure.h"
#include "core/settings.h"
#include "download/download_callbacks.h"
#include "download/http_download.h"

namespace cli {
namespace {

constexpr int32_t kBlockSize = 1048576;

}  // namespace

int RunDownload(const std::vector<std::string>& arguments) {
    if (arguments.size() != 2) {
        std::fprintf(stderr, "stickforge-cli: download needs URL FILE\n");
        return kUsageError;
    }
    download::DownloadRequest& request = download::ActiveDownload;
    request = {};
    request.Url = arguments[0];
    request.Mode = download::kIntoFile;
    request.FileName = arguments[1];
    request.BlockSize = kBlockSize;
    request.MaxResumeAttempts = core::ResumeMaxAttemptsNumber;
    request.OnConnected = download::ShowConnecting;
    request.OnProgress = download::ShowDownloadProgress;
    // The result goes to stderr here rather than through the window's report, which
    // pauses for the user.
    int32_t result = download::HttpDownload(request);
    if (result == download::kDownloadOk) return 0;
    std::fprintf(stderr, "stickforge-cli: %s\n",
                 download::DownloadResultText(request, result).c_str());
    return 1;
}

}  // namespace cli
