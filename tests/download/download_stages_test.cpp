// The engine's answer to a failure at each step of a transfer, through a transport
// double that fails where a test asks it to and serves a generated body otherwise.
#include <cstdlib>
#include <filesystem>
#include <map>

#include "download/download_callbacks.h"
#include "download/http_download.h"
#include "platform/http_transport.h"
#include "tests/test_support.h"

namespace {

using namespace download;
namespace fs = std::filesystem;

enum class Stage { Open, Connect, ProxyUser, User, Request, Header, Send, Status, Read, None };

struct Script {
    Stage failAt = Stage::None;
    int sendFailuresFrom = 1 << 30;  // sends from this one on fail
    int readFailuresFrom = 1 << 30;  // reads (counted over the transfer) from this one fail
    int32_t status = 200;
    int64_t length = 1000;
    int64_t announced = -1;    // the Content-Length sent: -1 = length, 0 = none
    std::string contentRange;  // sent when not empty
    int opens = 0, sends = 0, reads = 0;
};

class FakeRequest : public platform::HttpRequest {
public:
    FakeRequest(Script& script, int64_t start) : script_(script), position_(start) {}
    bool SetHeader(const std::string& name, const std::string&) override {
        return !(script_.failAt == Stage::Header && name == "Range");
    }
    platform::HttpSendResult Send() override {
        return ++script_.sends >= script_.sendFailuresFrom || script_.failAt == Stage::Send
                   ? platform::HttpSendResult::Failed
                   : platform::HttpSendResult::Sent;
    }
    int32_t StatusCode() override { return script_.failAt == Stage::Status ? -1 : script_.status; }
    std::optional<std::string> Header(const std::string& name) override {
        int64_t announced = script_.announced < 0 ? script_.length : script_.announced;
        if (name == "Content-Length" && announced > 0) return std::to_string(announced);
        if (name == "Content-Range" && !script_.contentRange.empty()) return script_.contentRange;
        return {};
    }
    std::vector<std::string> Headers(const std::string&) override { return {}; }
    int64_t Read(uint8_t* into, int64_t capacity) override {
        if (++script_.reads >= script_.readFailuresFrom || script_.failAt == Stage::Read) return -1;
        int64_t n = std::min(capacity, script_.length - position_);
        std::fill(into, into + n, uint8_t('x'));
        position_ += n;
        return n;
    }

private:
    Script& script_;
    int64_t position_;
};

class FakeConnection : public platform::HttpConnection {
public:
    explicit FakeConnection(Script& script) : script_(script) {}
    bool SetProxyUser(const std::string&) override { return script_.failAt != Stage::ProxyUser; }
    bool SetProxyPassword(const std::string&) override { return true; }
    bool SetUser(const std::string&) override { return script_.failAt != Stage::User; }
    bool SetPassword(const std::string&) override { return true; }
    std::unique_ptr<platform::HttpRequest> OpenRequest(const std::string&, const std::string&,
                                                       uint32_t, std::string) override {
        if (script_.failAt == Stage::Request) return nullptr;
        return std::make_unique<FakeRequest>(script_, 0);
    }

private:
    Script& script_;
};

class FakeSession : public platform::HttpSession {
public:
    explicit FakeSession(Script& script) : script_(script) {}
    std::unique_ptr<platform::HttpConnection> Connect(const std::string&, int32_t, bool) override {
        if (script_.failAt == Stage::Connect) return nullptr;
        return std::make_unique<FakeConnection>(script_);
    }

private:
    Script& script_;
};

class FakeTransport : public platform::HttpTransport {
public:
    explicit FakeTransport(Script& script) : script_(script) {}
    std::unique_ptr<platform::HttpSession> Open(const platform::HttpSessionOptions&) override {
        ++script_.opens;
        if (script_.failAt == Stage::Open) return nullptr;
        return std::make_unique<FakeSession>(script_);
    }
    platform::HttpError LastError() override { return {5, "the double's own failure"}; }

private:
    Script& script_;
};

class DownloadStagesTest : public test::AppTest {
protected:
    DownloadRequest FileRequest() {
        DownloadRequest request;
        request.Url = "http://user:pw@example.invalid/file";
        request.Mode = kIntoFile;
        request.FileName = scratch.file("file");
        return request;
    }
    int32_t Run(DownloadRequest& request) {
        FakeTransport transport(script);
        return HttpDownload(request, transport);
    }
    Script script;
};

TEST_F(DownloadStagesTest, BadParametersFailBeforeAnyNetworkCall) {
    std::vector<DownloadRequest> requests(7);
    for (DownloadRequest& request : requests) request = FileRequest();
    requests[0].Url = "example.invalid/file";
    requests[1].Url = "http://example.invalid";
    requests[2].Url = "ftp://example.invalid/file";
    requests[3].Mode = 0;
    requests[4].FileName = "";
    requests[5].AccessType = 3;
    requests[6].Url = "http://example.invalid:port/file";
    for (DownloadRequest& request : requests) {
        EXPECT_EQ(Run(request), kBadParameters) << request.Url;
        EXPECT_EQ(request.Result, kBadParameters);
    }
    EXPECT_EQ(script.opens, 0);
    EXPECT_FALSE(fs::exists(scratch.file("file")));
}

TEST_F(DownloadStagesTest, EachStepsFailureHasItsCode) {
    const std::map<Stage, int32_t> expected = {
        {Stage::Open, kInternetOpenError},
        {Stage::Connect, kConnectError},
        {Stage::ProxyUser, kProxyOptionsError},
        {Stage::Request, kRequestOpenError},
        {Stage::Send, kSendError},
        {Stage::Status, kStatusReadError},
    };
    for (auto [stage, code] : expected) {
        script = {};
        script.failAt = stage;
        DownloadRequest request = FileRequest();
        request.AccessType = 3;
        request.ProxyServer = "proxy.invalid:3128";
        request.ProxyUser = "proxy-user";
        EXPECT_EQ(Run(request), code);
        EXPECT_FALSE(fs::exists(scratch.file("file")));
    }
    // The Internet, connection and request failures show the system's words first.
    std::string out = output();
    size_t shown = 0;
    for (size_t at = 0; (at = out.find("the double's own failure", at)) != std::string::npos; ++at)
        ++shown;
    EXPECT_EQ(shown, 3u) << out;
}

TEST_F(DownloadStagesTest, CredentialsAndRangeFailures) {
    script.failAt = Stage::User;
    script.status = 401;
    DownloadRequest unauthorised = FileRequest();
    EXPECT_EQ(Run(unauthorised), kAuthOptionsError);

    script = {};
    script.failAt = Stage::Header;
    script.readFailuresFrom = 1;
    DownloadRequest resumed = FileRequest();
    resumed.MaxResumeAttempts = 3;
    EXPECT_EQ(Run(resumed), kAddHeaderError);
    EXPECT_EQ(resumed.ResumeAttempt, 1);
}

// A partial answer to a request for the whole file is the file only when it covers all
// of it; one from elsewhere would be taken for the file's start.
TEST_F(DownloadStagesTest, PartialFirstAnswersMustHoldTheWholeFile) {
    script.status = 206;
    for (std::string range : {"bytes 3-999/1000", "bytes 0-499/1000", "", "bytes */1000"}) {
        script.contentRange = range;
        DownloadRequest request = FileRequest();
        EXPECT_EQ(Run(request), kHttpStatusError) << range;
        EXPECT_EQ(request.HttpStatus, 206);
        EXPECT_FALSE(fs::exists(scratch.file("file")));
    }
    for (std::string range : {"bytes 0-999/1000", "bytes 0-999/*"}) {
        script.contentRange = range;
        DownloadRequest request = FileRequest();
        EXPECT_EQ(Run(request), kDownloadOk) << range;
        EXPECT_EQ(fs::file_size(scratch.file("file")), 1000u);
    }
}

TEST_F(DownloadStagesTest, FailedResumeSendsUseUpTheAttempts) {
    script.readFailuresFrom = 2;
    script.sendFailuresFrom = 2;
    DownloadRequest request = FileRequest();
    request.BlockSize = 100;
    request.MaxResumeAttempts = 4;
    EXPECT_EQ(Run(request), kResumeAttemptsUsedUp);
    EXPECT_EQ(script.opens, 5);
    EXPECT_FALSE(fs::exists(scratch.file("file")));
}

TEST_F(DownloadStagesTest, DefaultsAndBounds) {
    DownloadRequest request = FileRequest();
    request.Reserved1 = -5;
    request.BlockSize = -1;
    request.MaxResumeAttempts = -1;
    ASSERT_EQ(Run(request), kDownloadOk);
    EXPECT_EQ(request.Reserved1, 0);
    EXPECT_EQ(request.Reserved2, 16777216);
    EXPECT_EQ(request.UserAgent, "Stickforge by Ormund");
    EXPECT_EQ(request.Port, 80);
    EXPECT_EQ(request.RequestFlags, 0x80000300u);
    EXPECT_EQ(request.MaxResumeAttempts, 9999);

    request.Url = "https://[::1]:8443/file";
    request.Port = 0;
    ASSERT_EQ(Run(request), kDownloadOk);
    EXPECT_EQ(request.Port, 8443);
    request.Url = "https://example.invalid/file";
    request.Port = 0;
    ASSERT_EQ(Run(request), kDownloadOk);
    EXPECT_EQ(request.Port, 443);
}

TEST_F(DownloadStagesTest, LargeBodiesAndUnknownLengthsPickTheDefaultBlock) {
    std::vector<int64_t> received;
    auto record = [&](DownloadRequest&, int64_t r, int64_t, int64_t) {
        received.push_back(r);
        return 1;
    };
    script.length = 8388609;
    DownloadRequest large = FileRequest();
    large.OnProgress = record;
    ASSERT_EQ(Run(large), kDownloadOk);
    EXPECT_EQ(received.front(), 65536);

    received.clear();
    script = {};
    script.length = 8388608;
    DownloadRequest whole = FileRequest();
    whole.OnProgress = record;
    ASSERT_EQ(Run(whole), kDownloadOk);
    EXPECT_EQ(received, std::vector<int64_t>{8388608});
}

TEST_F(DownloadStagesTest, ABodyShorterThanAnnouncedIsNoSuccess) {
    script.length = 500;
    script.announced = 1000;
    DownloadRequest request = FileRequest();
    request.MaxResumeAttempts = 0;
    EXPECT_EQ(Run(request), kResumeAttemptsUsedUp);
    EXPECT_FALSE(fs::exists(request.FileName));
}

// Every byte is in when the connection breaks: the file is whole, never "resumed" from
// its own end (which a server refuses with 416, losing the file).
TEST_F(DownloadStagesTest, AReadFailureAfterTheLastByteLosesNothing) {
    for (int32_t blockSize : {0, 100}) {
        script = {};
        script.readFailuresFrom = blockSize == 0 ? 2 : 11;
        DownloadRequest request = FileRequest();
        request.BlockSize = blockSize;
        request.MaxResumeAttempts = 3;
        EXPECT_EQ(Run(request), kDownloadOk) << blockSize;
        EXPECT_EQ(script.opens, 1);
        EXPECT_EQ(request.BytesReceived, 1000);
        EXPECT_EQ(fs::file_size(request.FileName), 1000u);
    }
}

// A body without end (an endless listing) or announced beyond the bound ends with code 4
// instead of growing until the system kills the program; a body at the bound arrives.
TEST_F(DownloadStagesTest, TransfersIntoMemoryStopAtTheirBound) {
    struct Case {
        int64_t length, announced;
        int32_t result;
        int reads;  // -1: any
    };
    for (Case c : {Case{kMostBytesInMemory + 1, 0, kOutOfMemory, -1},
                   Case{kMostBytesInMemory + 1, kMostBytesInMemory + 1, kOutOfMemory, 0},
                   Case{kMostBytesInMemory, 0, kDownloadOk, -1}}) {
        script = {};
        script.length = c.length;
        script.announced = c.announced;
        DownloadRequest request = FileRequest();
        request.Mode = kIntoMemory;
        request.BlockSize = 1048576;
        EXPECT_EQ(Run(request), c.result) << c.length << " " << c.announced;
        EXPECT_EQ(request.Buffer.size(), c.result == kDownloadOk ? c.length : 0);
        if (c.reads >= 0) {
            EXPECT_EQ(script.reads, c.reads);
        }
    }
}

// Counts beyond 2 GiB: the file position check must not wrap.
TEST_F(DownloadStagesTest, TransfersPastTwoGibibytes) {
    script.length = (int64_t(1) << 31) + 3 * 1048576 + 5;
    DownloadRequest request = FileRequest();
    // In memory where there is a memory file system: the disk is not under test.
    std::unique_ptr<test::ScratchFolder> inMemory;
    if (fs::is_directory("/dev/shm")) {
        const char* old = std::getenv("TMPDIR");
        std::string saved = old ? old : "";
        setenv("TMPDIR", "/dev/shm", 1);
        inMemory = std::make_unique<test::ScratchFolder>();
        old ? setenv("TMPDIR", saved.c_str(), 1) : unsetenv("TMPDIR");
        request.FileName = inMemory->file("file");
    }
    request.BlockSize = 4 * 1048576;
    int64_t last = 0;
    request.OnProgress = [&](DownloadRequest&, int64_t r, int64_t total, int64_t) {
        last = r;
        return total == script.length ? 1 : 0;
    };
    ASSERT_EQ(Run(request), kDownloadOk);
    EXPECT_EQ(last, script.length);
    EXPECT_EQ(request.BytesReceived, script.length);
    EXPECT_EQ(int64_t(fs::file_size(request.FileName)), script.length);
}

}  // namespace
