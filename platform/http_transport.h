// HTTP requests for the download engine, in the three levels the Windows Internet
// API has: a session (the Internet handle), a connection to one host, and requests on
// that connection. Each level is an object that closes its handle when destroyed; a
// request must go before its connection, a connection before its session.
//
// Redirects are followed, never from https to http. An https connection uses TLS with
// the server's certificate checked against the system's store; on Linux the
// authorities in the PEM file named by STICKFORGE_CA_FILE are trusted as well (private
// mirrors, tests). The checks are never switched off.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct HttpSessionOptions {
    std::string userAgent;
    int32_t accessType = 0;  // 0 = the system's configuration, 3 = the named proxy
    std::string proxyServer;
    // Asked while a send or a read waits for the network; true gives the wait up within
    // about a second: the send fails, the read returns what it has or -1.
    std::function<bool()> stopRequested;
};

enum class HttpSendResult {
    Sent,                 // an answer arrived; its status and headers can be read
    Failed,               // no answer: name lookup, connection, TLS or protocol failure
    CertificateRejected,  // the server's certificate did not pass the checks
};

class HttpRequest {
public:
    virtual ~HttpRequest() = default;
    // Adds a header line to the requests sent from now on, replacing one of that name.
    virtual bool SetHeader(const std::string& name, const std::string& value) = 0;
    // Sends the request (again, when the connection's credentials changed) and waits for
    // the headers of the final answer.
    virtual HttpSendResult Send() = 0;
    // The final answer's status code; -1 when it cannot be read.
    virtual int32_t StatusCode() = 0;
    // A header of the final answer, by case-insensitive name.
    virtual std::optional<std::string> Header(const std::string& name) = 0;
    // Every header of that name in the final answer, in order (Set-Cookie comes in many).
    virtual std::vector<std::string> Headers(const std::string& name) = 0;
    // Reads the body into `into`, filling all `capacity` bytes unless the body ends first:
    // bytes read, 0 at the end of the body, -1 when the transfer broke off.
    virtual int64_t Read(uint8_t* into, int64_t capacity) = 0;
};

class HttpConnection {
public:
    virtual ~HttpConnection() = default;
    // Credentials for the proxy and for the server (basic authentication); they apply to
    // the requests sent after they were set.
    virtual bool SetProxyUser(const std::string& user) = 0;
    virtual bool SetProxyPassword(const std::string& password) = 0;
    virtual bool SetUser(const std::string& user) = 0;
    virtual bool SetPassword(const std::string& password) = 0;
    // A request of `path` (from the first "/", query included) with the method (GET, or
    // POST with the body); `flags` are WinINet request flags, which the Linux transport
    // ignores. Null on failure.
    virtual std::unique_ptr<HttpRequest> OpenRequest(const std::string& method,
                                                     const std::string& path, uint32_t flags,
                                                     std::string body) = 0;
};

class HttpSession {
public:
    virtual ~HttpSession() = default;
    // A connection to host (a name or address, IPv6 without brackets) at port, over TLS
    // when secure. Null on failure, also for a port outside 1-65535.
    virtual std::unique_ptr<HttpConnection> Connect(const std::string& host, int32_t port,
                                                    bool secure) = 0;
};

// What the last failed call of the calling thread reported.
struct HttpError {
    uint32_t code = 0;  // the system's error code where there is one
    std::string text;   // the system's or the library's own words
};

class HttpTransport {
public:
    virtual ~HttpTransport() = default;
    // Null on failure.
    virtual std::unique_ptr<HttpSession> Open(const HttpSessionOptions& options) = 0;
    virtual HttpError LastError() = 0;
};

// The platform's real transport: WinINet on Windows, libcurl on Linux.
HttpTransport& SystemHttp();

}  // namespace platform
