// The HTTP transport on libcurl's multi interface. The engine pulls the body block by
// block: a read lends its block to the write callback and drives the transfer until the
// block is full; what does not fit waits in a spill buffer of one curl chunk, and the
// transfer pauses until the next read, so memory stays at one block plus one chunk. A
// wait for the network polls at most a second at a time, so a stop request ends it soon.
#include <curl/curl.h>
#include <strings.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/http_transport.h"
#include "platform/linux/http_answer.h"

namespace platform {
namespace {

constexpr long kChunkBytes = 256 * 1024;
constexpr long kConnectTimeoutSeconds = 60;
constexpr long kStalledSeconds = 60;  // below 1 byte/s for this long breaks the transfer
constexpr long kMostRedirects = 10;
constexpr int kPollMs = 1000;
constexpr int32_t kDirect = 1;  // INTERNET_OPEN_TYPE_DIRECT
constexpr int32_t kNamedProxy = 3;

thread_local HttpError lastError;

void SetError(uint32_t code, std::string text) { lastError = {code, std::move(text)}; }

struct EasyCleanup {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiCleanup {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct ListCleanup {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using Easy = std::unique_ptr<CURL, EasyCleanup>;
using Multi = std::unique_ptr<CURLM, MultiCleanup>;
using HeaderList = std::unique_ptr<curl_slist, ListCleanup>;

bool IsCertificateFailure(CURLcode code) {
    return code == CURLE_PEER_FAILED_VERIFICATION || code == CURLE_SSL_CACERT_BADFILE ||
           code == CURLE_SSL_ISSUER_ERROR || code == CURLE_SSL_PINNEDPUBKEYNOTMATCH;
}

struct HeaderLine {
    std::string name, value;
};

class CurlSession;

struct Credentials {
    std::string user, password, proxyUser, proxyPassword;
};

class CurlRequest : public HttpRequest {
public:
    CurlRequest(Easy easy, CURLM* multi, const HttpSessionOptions& options,
                const Credentials& credentials, std::string url, bool secure, std::string body,
                bool post)
        : easy_(std::move(easy)),
          multi_(multi),
          options_(options),
          credentials_(credentials),
          url_(std::move(url)),
          secure_(secure),
          body_(std::move(body)),
          post_(post) {}
    ~CurlRequest() override { Detach(); }

    bool SetHeader(const std::string& name, const std::string& value) override {
        if (name.find_first_of(":\r\n") != std::string::npos ||
            value.find_first_of("\r\n") != std::string::npos)
            return SetError(0, "Invalid header " + name), false;
        auto same = [&](const HeaderLine& h) {
            return strcasecmp(h.name.c_str(), name.c_str()) == 0;
        };
        std::erase_if(headers_, same);
        headers_.push_back({name, value});
        return true;
    }

    HttpSendResult Send() override;
    int32_t StatusCode() override;
    std::optional<std::string> Header(const std::string& name) override;
    std::vector<std::string> Headers(const std::string& name) override;
    int64_t Read(uint8_t* into, int64_t capacity) override;

private:
    bool Configure();
    void Detach();
    void Drive(bool wait);
    bool StopRequested() const { return options_.stopRequested && options_.stopRequested(); }
    void Consume(uint8_t* into, int64_t capacity);
    static size_t OnHeader(char* data, size_t, size_t bytes, void* self);
    static size_t OnBody(char* data, size_t, size_t bytes, void* self);
    void FailWithCurlText(CURLcode code, const std::string& prefix = "") {
        SetError(uint32_t(code), prefix + (*errorText_ ? errorText_ : curl_easy_strerror(code)));
    }

    Easy easy_;
    CURLM* multi_;
    const HttpSessionOptions& options_;
    const Credentials& credentials_;
    std::string url_;
    bool secure_;
    std::string body_;
    bool post_;
    std::vector<HeaderLine> headers_;
    HeaderList headerList_;
    char errorText_[CURL_ERROR_SIZE] = {};

    // The state of one send.
    bool attached_ = false;
    bool answered_ = false;  // the final answer's headers are complete
    bool done_ = false;
    CURLcode outcome_ = CURLE_OK;
    linuxos::AnswerHeaders answer_;
    bool paused_ = false;
    std::vector<uint8_t> spill_;
    size_t spillStart_ = 0;
    uint8_t* target_ = nullptr;
    int64_t space_ = 0;
    int64_t filled_ = 0;
};

bool CurlRequest::Configure() {
    CURL* e = easy_.get();
    curl_easy_reset(e);
    *errorText_ = 0;
    headerList_.reset();
    for (const HeaderLine& h : headers_) {
        curl_slist* grown = curl_slist_append(headerList_.get(), (h.name + ": " + h.value).c_str());
        if (!grown) return SetError(0, "Out of memory"), false;
        headerList_.release();
        headerList_.reset(grown);
    }
    const char* caFile = std::getenv("STICKFORGE_CA_FILE");
    bool ok = curl_easy_setopt(e, CURLOPT_URL, url_.c_str()) == CURLE_OK &&
              curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK &&
              curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, secure_ ? "https" : "http,https") ==
                  CURLE_OK &&
              curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK &&
              curl_easy_setopt(e, CURLOPT_MAXREDIRS, kMostRedirects) == CURLE_OK &&
              curl_easy_setopt(e, CURLOPT_USERAGENT, options_.userAgent.c_str()) == CURLE_OK &&
              curl_easy_setopt(e, CURLOPT_HTTPHEADER, headerList_.get()) == CURLE_OK &&
              curl_easy_setopt(e, CURLOPT_ERRORBUFFER, errorText_) == CURLE_OK &&
              curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
              curl_easy_setopt(e, CURLOPT_BUFFERSIZE, kChunkBytes) == CURLE_OK &&
              curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds) == CURLE_OK &&
              curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L) == CURLE_OK &&
              curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, kStalledSeconds) == CURLE_OK &&
              curl_easy_setopt(e, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L) == CURLE_OK &&
              curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &CurlRequest::OnHeader) == CURLE_OK &&
              curl_easy_setopt(e, CURLOPT_HEADERDATA, this) == CURLE_OK &&
              curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &CurlRequest::OnBody) == CURLE_OK &&
              curl_easy_setopt(e, CURLOPT_WRITEDATA, this) == CURLE_OK;
    if (ok && caFile && *caFile) ok = curl_easy_setopt(e, CURLOPT_CAINFO, caFile) == CURLE_OK;
    if (ok && post_)
        ok = curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(body_.size())) ==
                 CURLE_OK &&
             curl_easy_setopt(e, CURLOPT_POSTFIELDS, body_.data()) == CURLE_OK;
    if (ok && !credentials_.user.empty())
        ok = curl_easy_setopt(e, CURLOPT_HTTPAUTH, long(CURLAUTH_BASIC)) == CURLE_OK &&
             curl_easy_setopt(e, CURLOPT_USERNAME, credentials_.user.c_str()) == CURLE_OK &&
             curl_easy_setopt(e, CURLOPT_PASSWORD, credentials_.password.c_str()) == CURLE_OK;
    if (ok && options_.accessType == kDirect)
        ok = curl_easy_setopt(e, CURLOPT_PROXY, "") == CURLE_OK;
    if (ok && options_.accessType == kNamedProxy)
        ok = curl_easy_setopt(e, CURLOPT_PROXY, options_.proxyServer.c_str()) == CURLE_OK &&
             curl_easy_setopt(e, CURLOPT_PROXYUSERNAME, credentials_.proxyUser.c_str()) ==
                 CURLE_OK &&
             curl_easy_setopt(e, CURLOPT_PROXYPASSWORD, credentials_.proxyPassword.c_str()) ==
                 CURLE_OK;
    if (!ok) SetError(0, "The transfer options were refused");
    return ok;
}

void CurlRequest::Detach() {
    if (attached_) curl_multi_remove_handle(multi_, easy_.get());
    attached_ = false;
}

HttpSendResult CurlRequest::Send() {
    Detach();
    answered_ = done_ = paused_ = false;
    outcome_ = CURLE_OK;
    answer_.Clear();
    spill_.clear();
    spillStart_ = 0;
    if (!Configure()) return HttpSendResult::Failed;
    if (curl_multi_add_handle(multi_, easy_.get()) != CURLM_OK) {
        SetError(0, "The transfer could not be started");
        return HttpSendResult::Failed;
    }
    attached_ = true;
    while (!answered_ && !done_) {
        if (StopRequested()) return SetError(0, "The transfer was stopped"), HttpSendResult::Failed;
        Drive(true);
    }
    if (done_ && outcome_ != CURLE_OK && IsCertificateFailure(outcome_)) {
        FailWithCurlText(outcome_, "The server's certificate was rejected: ");
        return HttpSendResult::CertificateRejected;
    }
    if (!answered_) {
        FailWithCurlText(outcome_);
        return HttpSendResult::Failed;
    }
    return HttpSendResult::Sent;
}

int32_t CurlRequest::StatusCode() {
    return answered_ && answer_.Status() > 0 ? int32_t(answer_.Status()) : -1;
}

std::optional<std::string> CurlRequest::Header(const std::string& name) {
    return answer_.Header(name);
}

std::vector<std::string> CurlRequest::Headers(const std::string& name) {
    return answer_.Headers(name);
}

// One round of the transfer; waits for the socket first when asked to.
void CurlRequest::Drive(bool wait) {
    int running = 0;
    if (wait) curl_multi_poll(multi_, nullptr, 0, kPollMs, nullptr);
    curl_multi_perform(multi_, &running);
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_, &queued)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy_.get()) {
            done_ = true;
            outcome_ = message->data.result;
            // A body that is complete but empty still finishes the answer.
            if (outcome_ == CURLE_OK && answer_.Status() > 0) answered_ = true;
        }
    }
}

void CurlRequest::Consume(uint8_t* into, int64_t capacity) {
    target_ = into;
    space_ = capacity;
    filled_ = 0;
    size_t waiting = spill_.size() - spillStart_;
    size_t taken = std::min<size_t>(waiting, size_t(capacity));
    if (taken > 0) std::memcpy(into, spill_.data() + spillStart_, taken);
    spillStart_ += taken;
    if (spillStart_ == spill_.size()) spill_.clear(), spillStart_ = 0;
    target_ += taken;
    space_ -= int64_t(taken);
    filled_ += int64_t(taken);
}

int64_t CurlRequest::Read(uint8_t* into, int64_t capacity) {
    if (!attached_ || !answered_) return SetError(0, "No answer to read"), -1;
    Consume(into, capacity);
    if (paused_ && space_ > 0) {
        paused_ = false;
        curl_easy_pause(easy_.get(), CURLPAUSE_CONT);  // may deliver the held chunk at once
    }
    bool first = true;
    bool stopped = false;
    while (space_ > 0 && !done_ && !(stopped = StopRequested())) {
        Drive(!first);
        first = false;
    }
    int64_t filled = filled_;
    target_ = nullptr;
    space_ = 0;
    if (filled > 0) return filled;
    if (stopped) return SetError(0, "The transfer was stopped"), -1;
    if (done_ && outcome_ != CURLE_OK) return FailWithCurlText(outcome_), -1;
    return 0;
}

size_t CurlRequest::OnHeader(char* data, size_t, size_t bytes, void* self) {
    auto& request = *static_cast<CurlRequest*>(self);
    if (request.answer_.Take(std::string_view(data, bytes))) request.answered_ = true;
    return bytes;
}

size_t CurlRequest::OnBody(char* data, size_t, size_t bytes, void* self) {
    auto& request = *static_cast<CurlRequest*>(self);
    bool spilling = request.spill_.size() > request.spillStart_;
    if (spilling || (request.space_ == 0 && bytes > 0 && request.answered_ && request.target_)) {
        request.paused_ = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    size_t fits = std::min<size_t>(bytes, size_t(request.space_));
    if (fits > 0) std::memcpy(request.target_, data, fits);
    request.target_ += fits;
    request.space_ -= int64_t(fits);
    request.filled_ += int64_t(fits);
    request.spill_.assign(data + fits, data + bytes);
    request.spillStart_ = 0;
    request.answered_ = true;
    return bytes;
}

class CurlConnection : public HttpConnection {
public:
    CurlConnection(CURLM* multi, const HttpSessionOptions& options, std::string origin, bool secure)
        : multi_(multi), options_(options), origin_(std::move(origin)), secure_(secure) {}

    bool SetProxyUser(const std::string& user) override {
        credentials_.proxyUser = user;
        return true;
    }
    bool SetProxyPassword(const std::string& password) override {
        credentials_.proxyPassword = password;
        return true;
    }
    bool SetUser(const std::string& user) override {
        credentials_.user = user;
        return true;
    }
    bool SetPassword(const std::string& password) override {
        credentials_.password = password;
        return true;
    }

    std::unique_ptr<HttpRequest> OpenRequest(const std::string& method, const std::string& path,
                                             uint32_t, std::string body) override {
        if (method != "GET" && method != "POST")
            return SetError(0, "Unknown request method " + method), nullptr;
        Easy easy(curl_easy_init());
        if (!easy) return SetError(0, "Out of memory"), nullptr;
        return std::make_unique<CurlRequest>(std::move(easy), multi_, options_, credentials_,
                                             origin_ + path, secure_, std::move(body),
                                             method == "POST");
    }

private:
    CURLM* multi_;
    const HttpSessionOptions& options_;
    std::string origin_;  // "https://host:port"
    bool secure_;
    Credentials credentials_;
};

class CurlSession : public HttpSession {
public:
    CurlSession(Multi multi, HttpSessionOptions options)
        : multi_(std::move(multi)), options_(std::move(options)) {}

    std::unique_ptr<HttpConnection> Connect(const std::string& host, int32_t port,
                                            bool secure) override {
        if (host.empty() || host.find_first_of("/?#@ \r\n") != std::string::npos)
            return SetError(0, "Invalid host name \"" + host + "\""), nullptr;
        if (port < 1 || port > 65535)
            return SetError(0, "Port " + std::to_string(port) + " is outside 1-65535"), nullptr;
        bool ipv6 = host.find(':') != std::string::npos;
        std::string origin = std::string(secure ? "https://" : "http://") +
                             (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
        return std::make_unique<CurlConnection>(multi_.get(), options_, origin, secure);
    }

private:
    Multi multi_;
    HttpSessionOptions options_;
};

class CurlTransport : public HttpTransport {
public:
    std::unique_ptr<HttpSession> Open(const HttpSessionOptions& options) override {
        static std::once_flag once;
        static CURLcode initialised = CURLE_OK;
        std::call_once(once, [] { initialised = curl_global_init(CURL_GLOBAL_DEFAULT); });
        if (initialised != CURLE_OK)
            return SetError(uint32_t(initialised), curl_easy_strerror(initialised)), nullptr;
        Multi multi(curl_multi_init());
        if (!multi) return SetError(0, "Out of memory"), nullptr;
        return std::make_unique<CurlSession>(std::move(multi), options);
    }
    HttpError LastError() override { return lastError; }
};

}  // namespace

HttpTransport& SystemHttp() {
    static CurlTransport transport;
    return transport;
}

}  // namespace platform
