// The answers of a server, through the header parse of the Linux transport and the
// transfer engine's reading of status, Content-Length, Content-Range and validators. The
// server sends each body from where its own Content-Range says (or from the start), so a
// transfer that reports success must hold exactly the served file, and one that fails
// leaves neither buffer nor file behind.
//
// Input: the file's bytes up to the first line "--", then one answer per "--" line:
// "--N" breaks the body off after N bytes, the lines up to the next "--" are the header
// lines as the transport hands them over.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "download/http_download.h"
#include "platform/http_transport.h"
#include "platform/linux/http_answer.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

namespace fs = std::filesystem;
constexpr std::string_view kSeparator = "\n--";

struct Answer {
    std::string headerText;
    int64_t breaksAfter = -1;  // -1: the body ends normally
};

struct Server {
    std::string file;
    std::vector<Answer> answers;
    size_t next = 0;
};

Server ParseInput(std::string_view input) {
    Server server;
    size_t at = input.find(kSeparator);
    server.file = std::string(input.substr(0, at));
    while (at != std::string_view::npos) {
        at += kSeparator.size();
        size_t end = input.find(kSeparator, at);
        std::string_view section = input.substr(at, end == std::string_view::npos ? end : end - at);
        size_t lineEnd = section.find('\n');
        std::string_view cut = section.substr(0, lineEnd);
        Answer answer;
        if (!cut.empty() && cut.size() <= 6 && cut.find_first_not_of("0123456789") == cut.npos)
            answer.breaksAfter = std::stoll(std::string(cut));
        if (lineEnd != std::string_view::npos) answer.headerText = section.substr(lineEnd + 1);
        server.answers.push_back(std::move(answer));
        at = end;
    }
    return server;
}

// Where the server starts the body: the first number of its "bytes N-" range, read
// leniently, so that any range the engine accepts is read the same here.
int64_t ClaimedStart(const std::optional<std::string>& range) {
    if (!range || range->size() < 6) return 0;
    size_t at = 6;
    while (at < range->size() && (*range)[at] == ' ') ++at;
    int64_t start = 0;
    for (; at < range->size() && (*range)[at] >= '0' && (*range)[at] <= '9'; ++at)
        start = std::min<int64_t>(start * 10 + ((*range)[at] - '0'), INT64_MAX / 16);
    return start;
}

bool IsRangeValue(const std::string& value) {
    if (!value.starts_with("bytes=")) return false;
    std::string_view rest = std::string_view(value).substr(6);
    size_t dash = rest.find('-');
    return dash != std::string_view::npos && dash > 0 &&
           rest.find_first_not_of("0123456789-") == std::string_view::npos &&
           rest.find('-', dash + 1) == std::string_view::npos;
}

class FakeRequest : public platform::HttpRequest {
public:
    explicit FakeRequest(Server& server) : server_(server) {}

    bool SetHeader(const std::string& name, const std::string& value) override {
        if (value.find_first_of("\r\n") != std::string::npos) return false;
        if (name == "Range") FUZZ_CHECK(IsRangeValue(value));
        if (name == "If-Range") FUZZ_CHECK(!value.empty());
        return true;
    }

    platform::HttpSendResult Send() override {
        if (server_.next == server_.answers.size()) return platform::HttpSendResult::Failed;
        const Answer& answer = server_.answers[server_.next++];
        headers_.Clear();
        bool complete = false;
        std::string_view text = answer.headerText;
        for (size_t at = 0; at < text.size() && !complete;) {
            size_t end = text.find('\n', at);
            end = end == std::string_view::npos ? text.size() : end + 1;
            complete = headers_.Take(text.substr(at, end - at));
            at = end;
        }
        if (!complete) return platform::HttpSendResult::Failed;
        long status = headers_.Status();
        FUZZ_CHECK(status >= 200 && status <= 999);
        int64_t start = status == 206 ? ClaimedStart(headers_.Header("Content-Range")) : 0;
        position_ = std::min<int64_t>(start, int64_t(server_.file.size()));
        breakAt_ = answer.breaksAfter < 0 ? INT64_MAX : position_ + answer.breaksAfter;
        return platform::HttpSendResult::Sent;
    }

    int32_t StatusCode() override {
        return headers_.Status() > 0 ? int32_t(headers_.Status()) : -1;
    }

    std::optional<std::string> Header(const std::string& name) override {
        std::optional<std::string> value = headers_.Header(name);
        if (value) FUZZ_CHECK(value->find('\n') == std::string::npos);
        return value;
    }

    std::vector<std::string> Headers(const std::string& name) override {
        return headers_.Headers(name);
    }

    int64_t Read(uint8_t* into, int64_t capacity) override {
        FUZZ_CHECK(capacity > 0);
        if (position_ >= breakAt_) return -1;
        int64_t end = std::min<int64_t>(int64_t(server_.file.size()), breakAt_);
        int64_t n = std::min(capacity, end - position_);
        std::copy_n(server_.file.data() + position_, n, into);
        position_ += n;
        return n;
    }

private:
    Server& server_;
    platform::linuxos::AnswerHeaders headers_;
    int64_t position_ = 0;
    int64_t breakAt_ = 0;
};

class FakeConnection : public platform::HttpConnection {
public:
    explicit FakeConnection(Server& server) : server_(server) {}
    bool SetProxyUser(const std::string&) override { return true; }
    bool SetProxyPassword(const std::string&) override { return true; }
    bool SetUser(const std::string&) override { return true; }
    bool SetPassword(const std::string&) override { return true; }
    std::unique_ptr<platform::HttpRequest> OpenRequest(const std::string&, const std::string&,
                                                       uint32_t, std::string) override {
        return std::make_unique<FakeRequest>(server_);
    }

private:
    Server& server_;
};

class FakeSession : public platform::HttpSession {
public:
    explicit FakeSession(Server& server) : server_(server) {}
    std::unique_ptr<platform::HttpConnection> Connect(const std::string&, int32_t, bool) override {
        return std::make_unique<FakeConnection>(server_);
    }

private:
    Server& server_;
};

class FakeTransport : public platform::HttpTransport {
public:
    explicit FakeTransport(Server& server) : server_(server) {}
    std::unique_ptr<platform::HttpSession> Open(const platform::HttpSessionOptions&) override {
        return std::make_unique<FakeSession>(server_);
    }
    platform::HttpError LastError() override { return {0, "no answer"}; }

private:
    Server& server_;
};

bool IsResultCode(int32_t code) {
    return code == download::kDownloadOk || code == download::kOutOfMemory ||
           code == download::kFileWriteError || code == download::kFileCreateError ||
           code == download::kHttpStatusError || code == download::kSendError ||
           code == download::kStatusReadError || code == download::kAddHeaderError ||
           code == download::kReadError || code == download::kResumeRefused ||
           code == download::kResumeAttemptsUsedUp;
}

download::DownloadRequest NewRequest(int32_t mode, int32_t blockSize) {
    download::DownloadRequest request;
    request.Url = "http://127.0.0.1:8080/file.bin";
    request.Mode = mode;
    request.BlockSize = blockSize;
    request.MaxResumeAttempts = 4;
    request.FileName = (fuzz::Scratch() / "download" / "file.bin").string();
    return request;
}

void CheckOutcome(const download::DownloadRequest& request, const Server& server) {
    FUZZ_CHECK(IsResultCode(request.Result));
    bool statusKept = request.Result == download::kHttpStatusError ||
                      request.Result == download::kResumeRefused ||
                      request.Result == download::kResumeAttemptsUsedUp;
    FUZZ_CHECK(request.HttpStatus == 0 || statusKept);
    if (request.Result == download::kDownloadOk)
        FUZZ_CHECK(request.BytesReceived == int64_t(server.file.size()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::QuietProgram();
    fuzz::QuietToolkit toolkit;
    std::string_view input(reinterpret_cast<const char*>(data), size);

    Server memory = ParseInput(input);
    FakeTransport memoryTransport(memory);
    download::DownloadRequest inMemory = NewRequest(download::kIntoMemory, 0);
    download::HttpDownload(inMemory, memoryTransport);
    CheckOutcome(inMemory, memory);
    if (inMemory.Result == download::kDownloadOk)
        FUZZ_CHECK(inMemory.Buffer.text() == memory.file);
    else
        FUZZ_CHECK(inMemory.Buffer.empty());

    // Into a file, in small blocks so that breaks fall inside a block.
    fs::path folder = fuzz::Scratch() / "download";
    fs::create_directories(folder);
    Server files = ParseInput(input);
    FakeTransport fileTransport(files);
    download::DownloadRequest intoFile = NewRequest(download::kIntoFile, 1 + int32_t(size % 7));
    download::HttpDownload(intoFile, fileTransport);
    CheckOutcome(intoFile, files);
    if (intoFile.Result == download::kDownloadOk) {
        std::ifstream in(intoFile.FileName, std::ios::binary);
        std::string written((std::istreambuf_iterator<char>(in)), {});
        FUZZ_CHECK(written == files.file);
    } else {
        FUZZ_CHECK(!fs::exists(intoFile.FileName));
    }
    for (const auto& entry : fs::directory_iterator(folder))
        FUZZ_CHECK(entry.path() == fs::path(intoFile.FileName));
    fs::remove_all(folder);
    return 0;
}
