// Every network transfer of the program: one HTTP GET into a file or a memory block. A
// file transfer that breaks off is resumed with a byte range on a fresh connection, up
// to MaxResumeAttempts times; the caller learns the outcome as a numeric result code.
//
// Byte counts and positions are 64-bit, so transfers beyond 2 GiB work. A resume asks
// for the rest only if the file is still the one first answered (If-Range with its
// strong ETag, else its Last-Modified date), so a file changed on the server is never
// spliced onto the old bytes: the server answers 200 and the attempt fails with 21.
//
// A body ends where its answer said (Content-Length, or the end of a 206's range): bytes
// past that are an error and never written, and once every byte is in, a broken
// connection no longer matters. A transfer into memory holds at most
// kMostBytesInMemory bytes (code 4 beyond them).
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "download/transfer_buffer.h"

namespace platform {
class HttpRequest;
class HttpTransport;
}  // namespace platform

namespace download {

// Mode: the destination of a transfer.
inline constexpr int32_t kIntoFile = 23;
inline constexpr int32_t kIntoMemory = 24;

// Result codes: DownloadRequest::Result and the value HttpDownload returns.
inline constexpr int32_t kDownloadOk = 1;
inline constexpr int32_t kBadParameters = 2;
inline constexpr int32_t kOutOfMemory = 4;
inline constexpr int32_t kDownloadAborted = 7;
inline constexpr int32_t kFileWriteError = 8;
inline constexpr int32_t kFileCreateError = 9;
inline constexpr int32_t kHttpStatusError = 10;
inline constexpr int32_t kInternetOpenError = 11;
inline constexpr int32_t kConnectError = 12;
inline constexpr int32_t kProxyOptionsError = 13;
inline constexpr int32_t kAuthOptionsError = 14;
inline constexpr int32_t kRequestOpenError = 15;
inline constexpr int32_t kSendError = 16;
inline constexpr int32_t kStatusReadError = 17;
inline constexpr int32_t kAddHeaderError = 18;
inline constexpr int32_t kReadError = 19;
inline constexpr int32_t kCloseError = 20;  // never produced: close failures are ignored
inline constexpr int32_t kResumeRefused = 21;
inline constexpr int32_t kResumeAttemptsUsedUp = 22;
inline constexpr int32_t kDataRejected = 23;  // the data check refused the bytes

// The largest body a transfer into memory takes: far above Apple's software-update
// catalog, the largest document the program fetches.
inline constexpr int64_t kMostBytesInMemory = 64 * 1024 * 1024;

// UrlHost and UrlPath: the part was found, or it was not.
inline constexpr int32_t kUrlPartFound = 1;
inline constexpr int32_t kUrlPartMissing = 6;

struct DownloadRequest;

// Called each time the server's answer was accepted, before the first read; the result
// is ignored.
using ConnectedCallback =
    std::function<int32_t(DownloadRequest& request, platform::HttpRequest& handle)>;
// Called after every read that returned data; total is 0 when the server gave no
// length. A result of 0 cancels the transfer.
using ProgressCallback = std::function<int32_t(DownloadRequest& request, int64_t received,
                                               int64_t total, int64_t seconds)>;
// Called once when the transfer ends.
using FinishedCallback = std::function<int32_t(DownloadRequest& request, int32_t result,
                                               int64_t received, int64_t total, int64_t seconds)>;

// What a data check says of the bytes it was just given.
struct DataVerdict {
    enum Kind {
        Keep,     // go on
        Refetch,  // the bytes from refetchFrom on are wrong: fetch them again by range
        Reject,   // the bytes cannot be right: end with kDataRejected
    } kind = Keep;
    int64_t refetchFrom = 0;
};
// Into a file: called with every block once it is written, its offset in the file and
// the length the server announced (0: none), before the progress callback. A refetch
// cuts the file back and goes through the resume path, so it counts as an attempt.
using DataCallback = std::function<DataVerdict(DownloadRequest& request, int64_t offset,
                                               std::span<const uint8_t> bytes, int64_t total)>;

struct HeaderField {
    std::string name, value;
};

// A request beyond a plain GET, as the recovery server wants them: the method with a body
// sent on every attempt, and header lines of the caller's own (cookies among them).
struct HttpMessage {
    std::string method = "GET";  // GET or POST
    std::string body;
    std::vector<HeaderField> headers;
};

// One transfer. Callers clear it (= {}) and fill what they need.
struct DownloadRequest {
    int32_t Reserved1 = 0;      // not used; a negative value is set to 0
    std::string Url;            // scheme "://" [user ":" password "@"] host [":" port] path
    int32_t Mode = 0;           // kIntoFile or kIntoMemory
    int32_t BlockSize = 0;      // bytes per read; 0 = chosen from the content length
    int32_t Reserved2 = 0;      // not used; 0 is set to 16,777,216
    std::string UserAgent;      // empty = "Stickforge by Ormund"
    int32_t Port = 0;           // 0 = the URL's port, else 80 for http and 443 for https
    int32_t AccessType = 0;     // 0 = the system's proxy configuration, 3 = ProxyServer
    uint32_t RequestFlags = 0;  // WinINet request flags; 0 = reload, no cache, no UI
    std::string FileName;       // the target file; in memory mode only a caption name
    std::string ProxyServer;
    std::string ProxyUser;
    std::string ProxyPassword;
    int64_t BytesReceived = 0;      // out: the bytes of a successful transfer
    int32_t ResumeAttempt = 0;      // resume attempts made so far in this transfer
    int32_t MaxResumeAttempts = 0;  // below 0 or above 9999 = 9999
    int32_t HttpStatus = 0;         // out: the status of a rejected answer (10, 21)
    TransferBuffer Buffer;          // memory mode: the bytes received, for the caller
    int32_t Reserved3 = 0;
    ConnectedCallback OnConnected;
    ProgressCallback OnProgress;
    FinishedCallback OnFinished;
    int32_t Result = 0;  // out: the result code
    // Asked after every block, before each resume and while the transport waits; true
    // ends the transfer with kDownloadAborted at once (a caller that gave up waiting).
    std::function<bool()> StopRequested;
    HttpMessage Message;
    std::vector<std::string> Cookies;  // out: "name=value" of every cookie the answer set
    DataCallback OnData;
};

// The one request the program's transfers share.
extern DownloadRequest ActiveDownload;

// Runs the transfer on the calling thread and returns its result code, also stored in
// request.Result. The callbacks run on the calling thread too.
int32_t HttpDownload(DownloadRequest& request);
int32_t HttpDownload(DownloadRequest& request, platform::HttpTransport& transport);

// The text the result report shows for a code; "#WEB_OK" for success.
std::string DownloadResultText(const DownloadRequest& request, int32_t code);

// The parts of a URL, by plain text search. Host: what follows "://" (or the
// credentials' "@") up to the next "/", a port kept. Path: from the first "/" after the
// host to the end, query included. Each returns kUrlPartFound, or kUrlPartMissing with
// the part empty.
int32_t UrlHost(const std::string& url, std::string& host);
int32_t UrlPath(const std::string& url, std::string& path);
// "user:password@" before the host; both empty unless both are there.
void UrlCredentials(const std::string& url, std::string& user, std::string& password);

}  // namespace download
