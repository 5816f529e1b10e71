// The HTTP transport on WinINet: the session, connection and request handles map one to
// one onto the transport's levels. WinINet follows redirects itself and refuses one
// from https to http; where it follows one all the same (Wine), the answer is refused
// before its body is read. Certificates are checked against the system's store. Reads
// go in pieces, so that a stop request is seen between them.
#include <windows.h>

#include <wininet.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/http_transport.h"
#include "platform/win32/system_error.h"
#include "platform/win32/wide.h"

namespace platform {
namespace {

thread_local HttpError lastError;
constexpr DWORD kReadPiece = 65536;

struct InternetCloser {
    void operator()(HINTERNET handle) const { InternetCloseHandle(handle); }
};
using InternetHandle = std::unique_ptr<void, InternetCloser>;

// WinINet's own codes have their texts in wininet.dll, not in the system's table.
std::string WinInetErrorText(DWORD code) {
    if (code < INTERNET_ERROR_BASE || code > INTERNET_ERROR_LAST)
        return win32::SystemErrorText(code);
    wchar_t text[1024];
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  GetModuleHandleW(L"wininet.dll"), code, 0, text, 1024, nullptr);
    std::wstring message(text, length);
    while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n'))
        message.pop_back();
    return message.empty() ? "WinINet error " + std::to_string(code) : Narrow(message);
}

void KeepLastError(const std::string& prefix = "") {
    DWORD code = GetLastError();
    lastError = {code, prefix + WinInetErrorText(code)};
}

bool IsCertificateFailure(DWORD code) {
    switch (code) {
        case ERROR_INTERNET_INVALID_CA:
        case ERROR_INTERNET_SEC_CERT_CN_INVALID:
        case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
        case ERROR_INTERNET_SEC_CERT_ERRORS:
        case ERROR_INTERNET_SEC_CERT_REV_FAILED:
        case ERROR_INTERNET_SEC_CERT_NO_REV:
        case ERROR_INTERNET_SEC_CERT_REVOKED:
        case ERROR_INTERNET_SEC_INVALID_CERT:
        case ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED:
            return true;
    }
    return false;
}

bool SetTextOption(HINTERNET handle, DWORD option, const std::string& text) {
    std::wstring wide = Widen(text);
    if (InternetSetOptionW(handle, option, wide.data(), DWORD(wide.size()))) return true;
    KeepLastError();
    return false;
}

class WinInetRequest : public HttpRequest {
public:
    WinInetRequest(InternetHandle request, const HttpSessionOptions& options, bool secure,
                   std::string body)
        : request_(std::move(request)),
          options_(options),
          secure_(secure),
          body_(std::move(body)) {}

    bool SetHeader(const std::string& name, const std::string& value) override {
        if (name.find_first_of(":\r\n") != std::string::npos ||
            value.find_first_of("\r\n") != std::string::npos)
            return lastError = {0, "Invalid header " + name}, false;
        std::wstring line = Widen(name + ": " + value + "\r\n");
        if (HttpAddRequestHeadersW(request_.get(), line.c_str(), DWORD(line.size()),
                                   HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE))
            return true;
        KeepLastError();
        return false;
    }

    HttpSendResult Send() override {
        if (sent_) DiscardBody();  // the answer before must be read before the next send
        sent_ = true;
        readFailed_ = false;
        if (HttpSendRequestW(request_.get(), nullptr, 0, body_.empty() ? nullptr : body_.data(),
                             DWORD(body_.size()))) {
            if (!secure_ || !RedirectedToPlainHttp()) return HttpSendResult::Sent;
            SetLastError(ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR);
            KeepLastError();
            return HttpSendResult::Failed;
        }
        DWORD code = GetLastError();
        if (IsCertificateFailure(code)) {
            KeepLastError("The server's certificate was rejected: ");
            return HttpSendResult::CertificateRejected;
        }
        KeepLastError();
        return HttpSendResult::Failed;
    }

    int32_t StatusCode() override {
        DWORD status = 0, size = sizeof status;
        if (HttpQueryInfoW(request_.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                           &size, nullptr))
            return int32_t(status);
        KeepLastError();
        return -1;
    }

    std::optional<std::string> Header(const std::string& name) override {
        DWORD index = 0;
        return HeaderAt(name, index);
    }

    std::vector<std::string> Headers(const std::string& name) override {
        std::vector<std::string> values;
        DWORD index = 0;
        while (std::optional<std::string> value = HeaderAt(name, index)) values.push_back(*value);
        return values;
    }

    int64_t Read(uint8_t* into, int64_t capacity) override {
        if (readFailed_) return -1;
        int64_t filled = 0;
        while (filled < capacity) {
            if (options_.stopRequested && options_.stopRequested()) {
                lastError = {ERROR_INTERNET_OPERATION_CANCELLED, "The transfer was stopped"};
                return filled > 0 ? filled : -1;
            }
            DWORD want = DWORD(std::min<int64_t>(capacity - filled, kReadPiece)), got = 0;
            if (!InternetReadFile(request_.get(), into + filled, want, &got)) {
                KeepLastError();
                readFailed_ = true;  // the bytes so far count; the next read reports it
                return filled > 0 ? filled : -1;
            }
            if (got == 0) break;
            filled += got;
        }
        return filled;
    }

private:
    // Whether the answer came from a plain http address, after redirects.
    bool RedirectedToPlainHttp() {
        std::vector<wchar_t> url(2048);
        DWORD size = DWORD(url.size() * sizeof(wchar_t));
        while (!InternetQueryOptionW(request_.get(), INTERNET_OPTION_URL, url.data(), &size)) {
            if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size <= url.size()) return false;
            url.resize(size + 1);  // size counts bytes or characters: enough either way
            size = DWORD(url.size() * sizeof(wchar_t));
        }
        return _wcsnicmp(url.data(), L"http:", 5) == 0;
    }

    // The header of that name at index, which moves on to the next one.
    std::optional<std::string> HeaderAt(const std::string& name, DWORD& index) {
        std::wstring wide = Widen(name);
        std::vector<wchar_t> buffer(std::max<size_t>(wide.size() + 1, 256));
        while (true) {
            std::copy(wide.begin(), wide.end(), buffer.begin());
            buffer[wide.size()] = 0;
            DWORD size = DWORD(buffer.size() * sizeof(wchar_t));
            if (HttpQueryInfoW(request_.get(), HTTP_QUERY_CUSTOM, buffer.data(), &size, &index))
                return Narrow(std::wstring_view(buffer.data(), size / sizeof(wchar_t)));
            if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return {};
            buffer.resize(size / sizeof(wchar_t) + 1);
        }
    }

    void DiscardBody() {
        char sink[16384];
        DWORD got = 0;
        while (InternetReadFile(request_.get(), sink, sizeof sink, &got) && got > 0) {
        }
    }

    InternetHandle request_;
    const HttpSessionOptions& options_;
    bool secure_;
    std::string body_;  // sent again with every send
    bool sent_ = false;
    bool readFailed_ = false;
};

class WinInetConnection : public HttpConnection {
public:
    WinInetConnection(InternetHandle connection, const HttpSessionOptions& options, bool secure)
        : connection_(std::move(connection)), options_(options), secure_(secure) {}

    bool SetProxyUser(const std::string& user) override {
        return SetTextOption(connection_.get(), INTERNET_OPTION_PROXY_USERNAME, user);
    }
    bool SetProxyPassword(const std::string& password) override {
        return SetTextOption(connection_.get(), INTERNET_OPTION_PROXY_PASSWORD, password);
    }
    bool SetUser(const std::string& user) override {
        return SetTextOption(connection_.get(), INTERNET_OPTION_USERNAME, user);
    }
    bool SetPassword(const std::string& password) override {
        return SetTextOption(connection_.get(), INTERNET_OPTION_PASSWORD, password);
    }

    std::unique_ptr<HttpRequest> OpenRequest(const std::string& method, const std::string& path,
                                             uint32_t flags, std::string body) override {
        if (secure_) flags |= INTERNET_FLAG_SECURE;
        HINTERNET request =
            HttpOpenRequestW(connection_.get(), Widen(method).c_str(), Widen(path).c_str(), nullptr,
                             nullptr, nullptr, flags, 0);
        if (!request) return KeepLastError(), nullptr;
        // WinINet keeps connections for the whole process; a transfer and each of its
        // resumes get a connection of their own instead of one the server may have shut.
        auto owned = std::make_unique<WinInetRequest>(InternetHandle(request), options_, secure_,
                                                      std::move(body));
        if (!owned->SetHeader("Connection", "close")) return nullptr;
        return owned;
    }

private:
    InternetHandle connection_;
    const HttpSessionOptions& options_;
    bool secure_;
};

class WinInetSession : public HttpSession {
public:
    WinInetSession(InternetHandle internet, HttpSessionOptions options)
        : internet_(std::move(internet)), options_(std::move(options)) {}

    std::unique_ptr<HttpConnection> Connect(const std::string& host, int32_t port,
                                            bool secure) override {
        if (port < 1 || port > 65535) {
            lastError = {ERROR_INVALID_PARAMETER,
                         "Port " + std::to_string(port) + " is outside 1-65535"};
            return nullptr;
        }
        HINTERNET connection =
            InternetConnectW(internet_.get(), Widen(host).c_str(), INTERNET_PORT(port), nullptr,
                             nullptr, INTERNET_SERVICE_HTTP, 0, 0);
        if (!connection) return KeepLastError(), nullptr;
        return std::make_unique<WinInetConnection>(InternetHandle(connection), options_, secure);
    }

private:
    InternetHandle internet_;
    HttpSessionOptions options_;
};

class WinInetTransport : public HttpTransport {
public:
    std::unique_ptr<HttpSession> Open(const HttpSessionOptions& options) override {
        std::wstring agent = Widen(options.userAgent), proxy = Widen(options.proxyServer);
        HINTERNET internet = InternetOpenW(agent.c_str(), DWORD(options.accessType),
                                           proxy.empty() ? nullptr : proxy.c_str(), nullptr, 0);
        if (!internet) return KeepLastError(), nullptr;
        return std::make_unique<WinInetSession>(InternetHandle(internet), options);
    }
    HttpError LastError() override { return lastError; }
};

}  // namespace

HttpTransport& SystemHttp() {
    static WinInetTransport transport;
    return transport;
}

}  // namespace platform
