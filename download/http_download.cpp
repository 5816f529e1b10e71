// The transfer engine. Choices made where the rules leave room, each for a sound result:
// - The URL's scheme picks plain HTTP or TLS; schemes other than http and https are bad
//   parameters. A port in the URL is used when Port is 0; then 80 or 443.
// - A resume asks for "bytes=N-" when the first answer gave no length, and carries
//   If-Range with the first answer's strong ETag (else its Last-Modified date). A 206
//   whose Content-Range does not continue at the bytes held counts like a 200: code 21.
//   A 206 to the first request must cover the whole file from byte 0, else code 10.
// - A body that ends before the announced length is a read failure (resumed), never a
//   success; an empty body into memory is a success with an empty buffer. Reads stop at
//   the announced end: a byte beyond it fails the transfer with 19 (not resumed, the
//   server would send it again), and a read failure after the last byte is no failure.
// - Once a 401 has brought out the URL's credentials, every later connection of the
//   transfer (each resume) carries them.
// - A rejected server certificate shows the transport's words and ends with 16 at once:
//   retrying cannot make it trusted.
// - The partial file is removed before the finish callback runs, and only a file this
//   call created; a failed memory transfer leaves no buffer behind.
#include "download/http_download.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <memory>
#include <optional>
#include <span>

#include "core/progress.h"
#include "core/state.h"
#include "download/download_callbacks.h"
#include "download/system_error.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/http_transport.h"
#include "platform/output_file.h"
#include "platform/path_parts.h"

namespace download {
namespace {

constexpr int64_t kDefaultBlockSize = 65536;
constexpr int64_t kLargestWholeBlock = 8388608;
constexpr int32_t kMostResumeAttempts = 9999;
constexpr int32_t kDefaultReserved2 = 16777216;
constexpr int64_t kResumeWaitMs = 1000;
constexpr uint32_t kDefaultRequestFlags = 0x80000300;  // reload, no cache pragma, no UI
constexpr int32_t kNamedProxy = 3;
constexpr const char* kDefaultUserAgent = "Stickforge by Ormund";

bool SameText(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

std::optional<int64_t> ParseCount(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0) return {};
    return value;
}

// Where a transfer goes, from the URL and the request's port.
struct Endpoint {
    std::string host;  // without the port; an IPv6 address without brackets
    int32_t port = 0;
    bool secure = false;
    std::string path;
    std::string user, password;
};

// Splits "name:port" or "[v6]:port"; urlPort stays 0 when the host names none.
void SplitPort(const std::string& hostText, std::string& host, int32_t& urlPort) {
    host = hostText;
    urlPort = 0;
    size_t colon = hostText.rfind(':');
    size_t bracket = hostText.rfind(']');
    if (hostText.front() == '[') {
        if (bracket == std::string::npos) return;
        host = hostText.substr(1, bracket - 1);
        if (colon != bracket + 1) return;
    } else if (colon == std::string::npos || hostText.find(':') != colon) {
        return;  // no port, or a bare IPv6 address
    } else {
        host = hostText.substr(0, colon);
    }
    std::optional<int64_t> port = ParseCount(std::string_view(hostText).substr(colon + 1));
    urlPort = port && *port <= 65535 ? int32_t(*port) : -1;
}

// The answer to one attempt: a result code, and whether the resume path may retry it.
struct Step {
    int32_t code = kDownloadOk;
    bool resumable = false;
};

class Transfer {
public:
    Transfer(DownloadRequest& request, platform::HttpTransport& transport)
        : request_(request), transport_(transport) {}
    int32_t Run();

private:
    int32_t CheckParameters();
    void ApplyDefaults(int32_t urlPort);
    int32_t Transmit();
    Step Attempt();
    Step OpenHandles();
    Step GiveCredentials();
    Step SendUntilAccepted();
    Step AcceptFirstAnswer();
    Step ReadBody();
    Step FinishWholeBody();
    std::optional<Step> CheckData(std::span<const uint8_t> bytes);
    Step FinishBody();
    void KeepCookies();
    std::optional<int32_t> ResumeAfter(const Step& failure);
    std::optional<int64_t> ContinuedRangeEnd();
    void CloseHandles();
    void Finish(int32_t result);
    int64_t Seconds() const { return int64_t(platform::SystemClock().TickMs() - startMs_) / 1000; }
    bool IntoFile() const { return request_.Mode == kIntoFile; }
    bool Stopped() const { return request_.StopRequested && request_.StopRequested(); }
    void ShowTransportError() { ShowErrorText(transport_.LastError().text); }

    DownloadRequest& request_;
    platform::HttpTransport& transport_;
    Endpoint endpoint_;
    uint64_t startMs_ = 0;
    int64_t received_ = 0;
    int64_t contentLength_ = 0;  // 0 when the first answer gave none
    int64_t bodyEnd_ = 0;        // where the answer being read ends; 0 when it did not say
    int64_t blockSize_ = 0;
    std::string validator_;  // the first answer's ETag or Last-Modified, for If-Range
    bool authRetried_ = false;
    bool fileCreated_ = false;
    platform::OutputFile file_;
    // One set per attempt; destroyed request first.
    std::unique_ptr<platform::HttpSession> session_;
    std::unique_ptr<platform::HttpConnection> connection_;
    std::unique_ptr<platform::HttpRequest> http_;
};

int32_t Transfer::Run() {
    request_.BytesReceived = 0;
    request_.HttpStatus = 0;
    request_.ResumeAttempt = 0;
    startMs_ = platform::SystemClock().TickMs();
    int32_t result = CheckParameters();
    if (result == kDownloadOk) result = Transmit();
    Finish(result);
    return result;
}

int32_t Transfer::CheckParameters() {
    std::string hostText;
    if (UrlHost(request_.Url, hostText) != kUrlPartFound ||
        UrlPath(request_.Url, endpoint_.path) != kUrlPartFound)
        return kBadParameters;
    UrlCredentials(request_.Url, endpoint_.user, endpoint_.password);
    std::string_view scheme = std::string_view(request_.Url).substr(0, request_.Url.find(':'));
    endpoint_.secure = SameText(scheme, "https");
    if (!endpoint_.secure && !SameText(scheme, "http")) return kBadParameters;
    int32_t urlPort = 0;
    SplitPort(hostText, endpoint_.host, urlPort);
    if (endpoint_.host.empty() || urlPort < 0) return kBadParameters;

    if (request_.Mode == kIntoFile) {
        if (request_.FileName.empty()) return kBadParameters;
    } else if (request_.Mode == kIntoMemory) {
        request_.Buffer.Release();
    } else {
        return kBadParameters;
    }
    if (request_.AccessType == kNamedProxy && request_.ProxyServer.empty()) return kBadParameters;
    if (request_.Message.method != "GET" && request_.Message.method != "POST")
        return kBadParameters;
    ApplyDefaults(urlPort);
    return kDownloadOk;
}

void Transfer::ApplyDefaults(int32_t urlPort) {
    DownloadRequest& r = request_;
    r.Reserved1 = std::max(r.Reserved1, 0);
    r.BlockSize = std::max(r.BlockSize, 0);
    if (r.Reserved2 == 0) r.Reserved2 = kDefaultReserved2;
    if (r.UserAgent.empty()) r.UserAgent = kDefaultUserAgent;
    if (r.Port == 0) r.Port = urlPort != 0 ? urlPort : endpoint_.secure ? 443 : 80;
    if (r.RequestFlags == 0) r.RequestFlags = kDefaultRequestFlags;
    if (r.MaxResumeAttempts < 0 || r.MaxResumeAttempts > kMostResumeAttempts)
        r.MaxResumeAttempts = kMostResumeAttempts;
    endpoint_.port = r.Port;
}

int32_t Transfer::Transmit() {
    while (true) {
        Step step = Attempt();
        if (!step.resumable) return step.code;
        if (std::optional<int32_t> end = ResumeAfter(step)) return *end;
    }
}

Step Transfer::Attempt() {
    if (Step opened = OpenHandles(); opened.code != kDownloadOk) return opened;
    if (Step sent = SendUntilAccepted(); sent.code != kDownloadOk) return sent;
    if (request_.ResumeAttempt == 0)
        if (Step first = AcceptFirstAnswer(); first.code != kDownloadOk) return first;
    if (request_.OnConnected) request_.OnConnected(request_, *http_);
    return ReadBody();
}

Step Transfer::OpenHandles() {
    session_ = transport_.Open({request_.UserAgent, request_.AccessType, request_.ProxyServer,
                                [this] { return Stopped(); }});
    if (!session_) return ShowTransportError(), Step{kInternetOpenError};
    connection_ = session_->Connect(endpoint_.host, endpoint_.port, endpoint_.secure);
    if (!connection_) return ShowTransportError(), Step{kConnectError};
    if (authRetried_)
        if (Step given = GiveCredentials(); given.code != kDownloadOk) return given;
    if (request_.AccessType == kNamedProxy) {
        if (!request_.ProxyUser.empty() && !connection_->SetProxyUser(request_.ProxyUser))
            return {kProxyOptionsError};
        if (!request_.ProxyPassword.empty() &&
            !connection_->SetProxyPassword(request_.ProxyPassword))
            return {kProxyOptionsError};
    }
    const HttpMessage& message = request_.Message;
    http_ = connection_->OpenRequest(message.method, endpoint_.path, request_.RequestFlags,
                                     message.body);
    if (!http_) return ShowTransportError(), Step{kRequestOpenError};
    for (const HeaderField& header : message.headers)
        if (!http_->SetHeader(header.name, header.value)) return {kAddHeaderError};
    if (request_.ResumeAttempt > 0) {
        std::string range = "bytes=" + std::to_string(received_) + "-";
        if (contentLength_ > 0) range += std::to_string(contentLength_ - 1);
        if (!http_->SetHeader("Range", range)) return {kAddHeaderError};
        if (!validator_.empty() && !http_->SetHeader("If-Range", validator_))
            return {kAddHeaderError};
    }
    return {};
}

// The URL's user and password on the connection.
Step Transfer::GiveCredentials() {
    if (!endpoint_.user.empty() && !connection_->SetUser(endpoint_.user))
        return {kAuthOptionsError};
    if (!endpoint_.password.empty() && !connection_->SetPassword(endpoint_.password))
        return {kAuthOptionsError};
    return {};
}

Step Transfer::SendUntilAccepted() {
    bool resuming = request_.ResumeAttempt > 0;
    while (true) {
        platform::HttpSendResult sent = http_->Send();
        if (sent == platform::HttpSendResult::CertificateRejected)
            return ShowTransportError(), Step{kSendError};
        if (sent == platform::HttpSendResult::Failed)
            return Stopped() ? Step{kDownloadAborted} : Step{kSendError, resuming};
        int32_t status = http_->StatusCode();
        if (status < 0) return {kStatusReadError};
        if (status == 401 && !authRetried_) {
            // One retry with the URL's credentials; a second 401 is a rejection.
            if (Step given = GiveCredentials(); given.code != kDownloadOk) return given;
            authRetried_ = true;
            continue;
        }
        if (status != 200 && status != 206) {
            request_.HttpStatus = status;
            return {kHttpStatusError};
        }
        std::optional<int64_t> rangeEnd = status == 206 ? ContinuedRangeEnd() : std::nullopt;
        if (resuming && !rangeEnd) {
            request_.HttpStatus = status;
            return {kResumeRefused, true};
        }
        if (status == 206 && !rangeEnd) {
            request_.HttpStatus = status;
            return {kHttpStatusError};
        }
        bodyEnd_ = rangeEnd.value_or(0);  // a 200's end is its length, read with it
        request_.HttpStatus = 0;          // an answer refused before this one no longer counts
        KeepCookies();
        return {};
    }
}

// Where a 206's "bytes FIRST-LAST/TOTAL" ends (LAST + 1), when it starts at the bytes
// held and ends where the file ends; nothing otherwise.
std::optional<int64_t> Transfer::ContinuedRangeEnd() {
    std::optional<std::string> range = http_->Header("Content-Range");
    if (!range || range->size() < 6 || !SameText(std::string_view(*range).substr(0, 6), "bytes "))
        return {};
    std::string_view rest = std::string_view(*range).substr(6);
    size_t dash = rest.find('-'), slash = rest.find('/');
    if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash)
        return {};
    std::optional<int64_t> first = ParseCount(rest.substr(0, dash));
    std::optional<int64_t> last = ParseCount(rest.substr(dash + 1, slash - dash - 1));
    std::optional<int64_t> total = ParseCount(rest.substr(slash + 1));
    if (!first || *first != received_ || !last || *last < *first) return {};
    bool endsWithFile = contentLength_ == 0
                            ? !total || *last + 1 == *total
                            : total && *total == contentLength_ && *last + 1 == contentLength_;
    return endsWithFile ? std::optional<int64_t>(*last + 1) : std::nullopt;
}

Step Transfer::AcceptFirstAnswer() {
    std::optional<std::string> length = http_->Header("Content-Length");
    contentLength_ = length ? ParseCount(*length).value_or(0) : 0;
    if (bodyEnd_ == 0) bodyEnd_ = contentLength_;
    if (!IntoFile() && contentLength_ > kMostBytesInMemory) return {kOutOfMemory};
    if (request_.BlockSize != 0)
        blockSize_ = request_.BlockSize;
    else if (contentLength_ >= 1 && contentLength_ <= kLargestWholeBlock)
        blockSize_ = contentLength_;
    else
        blockSize_ = kDefaultBlockSize;
    std::optional<std::string> etag = http_->Header("ETag");
    std::optional<std::string> modified = http_->Header("Last-Modified");
    // A weak tag cannot be used with If-Range.
    if (etag && !etag->empty() && !etag->starts_with("W/"))
        validator_ = *etag;
    else if (modified)
        validator_ = *modified;
    if (!request_.Buffer.Resize(blockSize_)) return {kOutOfMemory};
    if (IntoFile() && !file_.IsOpen()) {
        file_ = platform::OutputFile::Create(request_.FileName);
        if (!file_.IsOpen()) return {kFileCreateError};
        fileCreated_ = true;
    }
    return {};
}

Step Transfer::ReadBody() {
    TransferBuffer& buffer = request_.Buffer;
    while (true) {
        int64_t wanted = bodyEnd_ > 0 ? std::min(blockSize_, bodyEnd_ - received_) : blockSize_;
        if (wanted <= 0) return FinishWholeBody();
        uint8_t* into = IntoFile() ? buffer.data() : buffer.data() + received_;
        int64_t read = http_->Read(into, wanted);
        if (Stopped()) return {kDownloadAborted};
        if (read < 0) return {kReadError, IntoFile()};
        if (IntoFile() && read > 0) {
            file_.Write({into, size_t(read)});
            if (file_.Position() != received_ + read) return {kFileWriteError};
            if (std::optional<Step> refused = CheckData({into, size_t(read)})) return *refused;
        }
        received_ += read;
        if (!IntoFile() && received_ > kMostBytesInMemory) return {kOutOfMemory};
        if (request_.OnProgress && read > 0 &&
            request_.OnProgress(request_, received_, contentLength_, Seconds()) == 0)
            return {kDownloadAborted};
        if (read == 0) return FinishBody();
        if (!IntoFile() && !buffer.Resize(received_ + blockSize_)) return {kOutOfMemory};
    }
}

// Every byte the answer announced is in: one more is a server that says one length and
// sends another; a connection that breaks now has lost nothing.
Step Transfer::FinishWholeBody() {
    uint8_t beyond = 0;
    if (http_->Read(&beyond, 1) > 0) return {kReadError};
    return FinishBody();
}

// Nothing when the data check keeps the block; else how the attempt ends.
std::optional<Step> Transfer::CheckData(std::span<const uint8_t> bytes) {
    if (!request_.OnData) return {};
    DataVerdict verdict = request_.OnData(request_, received_, bytes, contentLength_);
    if (verdict.kind == DataVerdict::Keep) return {};
    int64_t from = verdict.refetchFrom;
    if (verdict.kind == DataVerdict::Reject || from < 0 || from > received_ + int64_t(bytes.size()))
        return Step{kDataRejected};
    if (!file_.CutTo(from)) return Step{kFileWriteError};
    received_ = from;
    return Step{kDataRejected, true};
}

// "name=value" of each Set-Cookie line; the attributes after it are the server's business.
void Transfer::KeepCookies() {
    request_.Cookies.clear();
    for (const std::string& line : http_->Headers("Set-Cookie")) {
        std::string cookie = line.substr(0, line.find(';'));
        if (cookie.find('=') != std::string::npos) request_.Cookies.push_back(cookie);
    }
}

Step Transfer::FinishBody() {
    if (bodyEnd_ > 0 && received_ < bodyEnd_) return {kReadError, IntoFile()};
    if (IntoFile()) {
        if (!file_.Flush() || file_.Position() != received_) return {kFileWriteError};
        file_.Close();
    } else if (!request_.Buffer.Resize(received_)) {
        return {kOutOfMemory};
    }
    request_.BytesReceived = received_;
    return {};
}

// Nothing when a new attempt should follow; else the result the transfer ends with.
std::optional<int32_t> Transfer::ResumeAfter(const Step& failure) {
    if (Stopped()) return kDownloadAborted;
    request_.ResumeAttempt += 1;
    if (request_.ResumeAttempt > request_.MaxResumeAttempts) return kResumeAttemptsUsedUp;
    if (core::TransferCancelFlag != 0) {
        core::DrawStatus("File " + platform::FileNamePart(request_.FileName) + " Download aborted",
                         0);
        return failure.code;
    }
    CloseHandles();
    ProgressCaption notice = ResumeNoticeCaption(received_, contentLength_, request_.ResumeAttempt);
    core::DrawStatus(notice.text, notice.percent);
    platform::SystemClock().SleepMs(kResumeWaitMs);
    return {};
}

void Transfer::CloseHandles() {
    http_.reset();
    connection_.reset();
    session_.reset();
}

void Transfer::Finish(int32_t result) {
    CloseHandles();
    request_.Result = result;
    if (IntoFile()) request_.Buffer.Release();
    if (result != kDownloadOk) {
        request_.Buffer.Release();
        file_.Close();
        if (fileCreated_) platform::RemoveFile(request_.FileName);
    }
    if (request_.OnFinished)
        request_.OnFinished(request_, result, received_, contentLength_, Seconds());
}

}  // namespace

int32_t HttpDownload(DownloadRequest& request, platform::HttpTransport& transport) {
    return Transfer(request, transport).Run();
}

int32_t HttpDownload(DownloadRequest& request) {
    return HttpDownload(request, platform::SystemHttp());
}

}  // namespace download
