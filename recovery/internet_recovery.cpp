#include "recovery/internet_recovery.h"

#include <cstdlib>
#include <random>

#include "core/progress.h"
#include "core/settings.h"
#include "core/state.h"
#include "download/download_callbacks.h"
#include "download/http_download.h"
#include "platform/files.h"
#include "platform/output_file.h"
#include "platform/paths.h"
#include "recovery/chunklist.h"

namespace recovery {
namespace {

using core::Outcome;

constexpr char kDefaultServer[] = "http://osrecovery.apple.com";
constexpr char kImageRequestPath[] = "/InstallationPayload/RecoveryImage";
constexpr char kUserAgent[] = "InternetRecovery/1.0";
constexpr uint32_t kNoCookies = 0x00080000;  // INTERNET_FLAG_NO_COOKIES: ours are sent by hand
constexpr uint32_t kRequestFlags = 0x80000300 | kNoCookies;
constexpr int32_t kBlockSize = 1048576;
constexpr int32_t kSmallAttempts = 10;
constexpr int64_t kStatusMs = 2000;
constexpr char kImageName[] = "BaseSystem.dmg";
constexpr char kChunklistName[] = "BaseSystem.chunklist";
constexpr char kErrorPrefix[] = "Internet Recovery ... Error: ";

Outcome Fail(const std::string& text) {
    core::ShowStatus(kErrorPrefix + text, kStatusMs);
    return core::TransferCancelFlag != 0 ? Outcome::Cancelled : Outcome::Failed;
}

std::string RandomHex(size_t digits) {
    thread_local std::mt19937_64 engine{std::random_device{}()};
    static const char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    for (size_t i = 0; i < digits; ++i) hex += kDigits[engine() & 15];
    return hex;
}

// A request as the server's own clients send it.
download::DownloadRequest ServerRequest(const std::string& url, const std::string& caption,
                                        const std::string& cookie) {
    download::DownloadRequest request;
    request.Url = url;
    request.Mode = download::kIntoMemory;
    request.BlockSize = kBlockSize;
    request.MaxResumeAttempts = kSmallAttempts;
    request.UserAgent = kUserAgent;
    request.RequestFlags = kRequestFlags;
    request.FileName = caption;
    request.OnConnected = download::ShowConnecting;
    if (!cookie.empty()) request.Message.headers.push_back({"Cookie", cookie});
    return request;
}

// The text of a failed transfer, as the result report words it.
std::string TransferFailure(const download::DownloadRequest& request) {
    return request.FileName + ": " + download::DownloadResultText(request, request.Result);
}

std::string BufferText(const download::DownloadRequest& request) {
    return std::string(reinterpret_cast<const char*>(request.Buffer.data()),
                       size_t(request.BytesReceived));
}

// A product name fit to be a folder: letters, digits, ".", "-" and "_", not leading with
// a dot.
bool IsProductName(const std::string& name) {
    return !name.empty() && name.size() <= 64 && name.front() != '.' &&
           name.find_first_not_of(
               "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"
               "abcdefghijklmnopqrstuvwxyz.-_") == std::string::npos;
}

Outcome OpenSession(const std::string& server, std::string& session) {
    download::DownloadRequest request = ServerRequest(server + "/", "Internet Recovery", "");
    if (download::HttpDownload(request) != download::kDownloadOk)
        return Fail(TransferFailure(request));
    for (const std::string& cookie : request.Cookies)
        if (cookie.starts_with("session=")) session = cookie;
    if (session.empty()) return Fail("no session from " + server);
    return Outcome::Done;
}

Outcome AskForImage(const std::string& server, const std::string& session,
                    const InternetRecoveryVersion& version, RecoveryAssets& assets) {
    download::DownloadRequest request =
        ServerRequest(server + kImageRequestPath, "RecoveryImage", session);
    request.Message.method = "POST";
    request.Message.body = RecoveryRequestBody(version);
    request.Message.headers.push_back({"Content-Type", "text/plain"});
    if (download::HttpDownload(request) != download::kDownloadOk)
        return Fail(TransferFailure(request));
    std::string missing;
    if (!ReadRecoveryAnswer(BufferText(request), assets, missing))
        return Fail("the server's answer has no " + missing);
    if (!IsProductName(assets.product))
        return Fail("the server names its product \"" + assets.product + "\"");
    return Outcome::Done;
}

// The chunk list, fetched, checked against the trusted key and kept beside the image.
Outcome FetchChunklist(const RecoveryAssets& assets, const std::string& folder,
                       Chunklist& chunklist) {
    download::DownloadRequest request =
        ServerRequest(assets.chunklistUrl, kChunklistName, "AssetToken=" + assets.chunklistToken);
    request.OnProgress = download::ShowDownloadProgress;
    if (download::HttpDownload(request) != download::kDownloadOk)
        return Fail(TransferFailure(request));
    std::span<const uint8_t> bytes(request.Buffer.data(), size_t(request.BytesReceived));
    switch (ReadChunklist(bytes, TrustedChunklistKey(), chunklist)) {
        case ChunklistVerdict::Signed:
            break;
        case ChunklistVerdict::Malformed:
            return Fail(std::string(kChunklistName) + " is no chunk list");
        case ChunklistVerdict::Unsigned:
            return Fail(std::string(kChunklistName) + " is not signed");
        case ChunklistVerdict::BadSignature:
            return Fail(std::string(kChunklistName) + " is not signed by Apple");
    }
    std::string path = platform::JoinPath(folder, kChunklistName);
    platform::OutputFile file = platform::OutputFile::Create(path);
    if (!file.IsOpen() || file.Write(bytes) != int64_t(bytes.size()) || !file.Flush())
        return Fail("cannot write " + path);
    return Outcome::Done;
}

// The image, each chunk checked as it arrives; a chunk that does not match is fetched
// again by range. fetched counts every byte that arrived, those fetched again included.
Outcome FetchImage(const RecoveryAssets& assets, const Chunklist& chunklist,
                   const std::string& path, int64_t& fetched) {
    download::DownloadRequest request;
    request.Url = assets.imageUrl;
    request.Mode = download::kIntoFile;
    request.BlockSize = kBlockSize;
    request.MaxResumeAttempts = core::ResumeMaxAttemptsNumber;
    request.UserAgent = kUserAgent;
    request.RequestFlags = kRequestFlags;
    request.FileName = path;
    request.Message.headers.push_back({"Cookie", "AssetToken=" + assets.imageToken});
    request.OnProgress = download::ShowDownloadProgress;
    request.OnFinished = download::ReportDownloadResult;
    ChunkCheck check(chunklist);
    request.OnData = [&](download::DownloadRequest&, int64_t offset, std::span<const uint8_t> bytes,
                         int64_t total) {
        fetched += int64_t(bytes.size());
        switch (check.Take(offset, bytes, total)) {
            case ChunkCheck::Verdict::Keep:
                return download::DataVerdict{};
            case ChunkCheck::Verdict::Refetch:
                core::ShowStatus("Chunk " + std::to_string(check.FailedChunk()) + " of " +
                                     kImageName + " failed its check: fetching it again",
                                 kStatusMs);
                return download::DataVerdict{download::DataVerdict::Refetch, check.RefetchFrom()};
            case ChunkCheck::Verdict::Reject:
                break;
        }
        return download::DataVerdict{download::DataVerdict::Reject};
    };
    // The transfer's own report has shown a failure already.
    if (download::HttpDownload(request) != download::kDownloadOk)
        return core::TransferCancelFlag != 0 || request.Result == download::kDownloadAborted
                   ? Outcome::Cancelled
                   : Outcome::Failed;
    if (!check.Complete()) {
        platform::RemoveFile(path);
        return Fail(std::string(kImageName) + " ends before its last chunk");
    }
    return Outcome::Done;
}

}  // namespace

bool ReadRecoveryAnswer(std::string_view text, RecoveryAssets& assets, std::string& missing) {
    std::pair<const char*, std::string*> fields[] = {
        {"AP", &assets.product},       {"AU", &assets.imageUrl},     {"AH", &assets.imageHash},
        {"AT", &assets.imageToken},    {"CU", &assets.chunklistUrl}, {"CH", &assets.chunklistHash},
        {"CT", &assets.chunklistToken}};
    for (auto& [key, value] : fields) value->clear();
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.ends_with('\r')) line.remove_suffix(1);
        size_t colon = line.find(": ");
        if (colon == std::string_view::npos) continue;
        for (auto& [key, value] : fields)
            if (line.substr(0, colon) == key) *value = line.substr(colon + 2);
    }
    for (auto& [key, value] : fields)
        if (value->empty()) return missing = key, false;
    return true;
}

std::string RecoveryRequestBody(const InternetRecoveryVersion& version) {
    return "cid=" + RandomHex(16) + "\nsn=" + version.serial + "\nbid=" + version.boardId +
           "\nk=" + RandomHex(64) + "\nfg=" + RandomHex(64) +
           "\nos=" + (version.latest ? "latest" : "default");
}

std::string RecoveryServer() {
    const char* host = std::getenv("STICKFORGE_RECOVERY_HOST");
    std::string server = host && *host ? host : kDefaultServer;
    while (server.ends_with('/')) server.pop_back();
    return server;
}

Outcome FetchRecoveryImage(const InternetRecoveryVersion& version, std::string& dmg) {
    dmg.clear();
    std::string server = RecoveryServer();
    std::string session;
    RecoveryAssets assets;
    if (Outcome opened = OpenSession(server, session); opened != Outcome::Done) return opened;
    if (Outcome asked = AskForImage(server, session, version, assets); asked != Outcome::Done)
        return asked;
    std::string folder = platform::JoinPath(core::SFKImageLocalRepo, assets.product);
    if (!platform::FolderExists(folder) && !platform::CreateFolder(folder))
        return Fail("cannot create the folder " + folder);
    Chunklist chunklist;
    if (Outcome listed = FetchChunklist(assets, folder, chunklist); listed != Outcome::Done)
        return listed;
    std::string path = platform::JoinPath(folder, kImageName);
    int64_t fetched = 0;
    if (Outcome outcome = FetchImage(assets, chunklist, path, fetched); outcome != Outcome::Done)
        return outcome;
    core::ShowStatus(std::string(kImageName) + " of " + assets.product + " checked, " +
                         std::to_string(fetched) + " bytes fetched",
                     1000);
    dmg = path;
    return Outcome::Done;
}

}  // namespace recovery
