#include "recovery/scratch_download.h"

#include <random>

#include "download/download_callbacks.h"
#include "download/http_download.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace recovery {
namespace {

constexpr int32_t kBlockSize = 1048576;
constexpr int32_t kAttempts = 10;
constexpr int kFolderTries = 100;

std::string MakeFolder() {
    std::string temporary = platform::TemporaryPath();
    if (temporary.empty()) return "";
    thread_local std::mt19937 engine{std::random_device{}()};
    for (int i = 0; i < kFolderTries; ++i) {
        std::string folder = platform::JoinPath(
            temporary,
            "SFKCatalog" + std::to_string(std::uniform_int_distribution<int>(1000, 9999)(engine)));
        if (platform::CreateFolder(folder)) return folder;
    }
    return "";
}

}  // namespace

ScratchDownloads::ScratchDownloads() : folder_(MakeFolder()) {}

ScratchDownloads::~ScratchDownloads() {
    if (Ready()) platform::RemoveTree(folder_);
}

std::string ScratchDownloads::Fetch(const std::string& url, const std::string& caption) {
    if (!Ready()) return "";
    download::DownloadRequest request;
    request.Url = url;
    request.Mode = download::kIntoFile;
    request.BlockSize = kBlockSize;
    request.MaxResumeAttempts = kAttempts;
    request.FileName = platform::JoinPath(folder_, caption);
    request.OnConnected = download::ShowConnecting;
    request.OnProgress = download::ShowDownloadProgress;
    if (download::HttpDownload(request) != download::kDownloadOk) return "";
    return request.FileName;
}

}  // namespace recovery
