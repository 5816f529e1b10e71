// Transfers through the real transport against the loopback test server.
#include "download/http_download.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "core/state.h"
#include "download/download_callbacks.h"
#include "platform/clock.h"
#include "tests/download/test_server.h"
#include "tests/test_support.h"

namespace {

using namespace download;
namespace fs = std::filesystem;

std::string RandomBytes(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = char(random());
    return bytes;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// One server for the suite; each test tags its URLs so that the server's per-URL drop
// counts and the request log are its own.
class HttpDownloadTest : public test::AppTest {
protected:
    static void SetUpTestSuite() { StartServer(false, 3 * 1024 * 1024 + 17); }
    static void TearDownTestSuite() {
        server_.reset();
        root_.reset();
    }
    static void StartServer(bool tls, size_t size) {
        root_ = std::make_unique<test::ScratchFolder>();
        fs::create_directories(root_->file("files"));
        content_ = RandomBytes(size, 7);
        test::WriteFile(root_->file("files/f.bin"), content_);
        server_ = std::make_unique<test::TestServer>(root_->file("files"), tls);
    }
    void SetUp() override {
        ASSERT_TRUE(server_ && server_->running()) << "the test server did not start";
        tag_ = "t=" + std::to_string(++tests_);
        logStart_ = server_->Requests().size();
    }
    void TearDown() override {
        core::TransferCancelFlag = 0;
        unsetenv("STICKFORGE_CA_FILE");
    }

    // The server's URL for a path and query, tagged for this test.
    std::string Url(const std::string& pathAndQuery) const {
        bool query = pathAndQuery.find('?') != std::string::npos;
        return server_->Url(pathAndQuery + (query ? "&" : "?") + tag_);
    }
    std::string ServedFile(const std::string& name) const { return root_->file("files/" + name); }

    // A file transfer of url into the scratch folder, with progress recorded.
    DownloadRequest FileRequest(const std::string& url, int32_t maxResumeAttempts = 3) {
        DownloadRequest request;
        request.Url = url;
        request.Mode = kIntoFile;
        request.FileName = target();
        request.MaxResumeAttempts = maxResumeAttempts;
        request.OnProgress = [this](DownloadRequest& r, int64_t received, int64_t total,
                                    int64_t seconds) {
            progress_.push_back({received, total});
            return ShowDownloadProgress(r, received, total, seconds);
        };
        return request;
    }
    std::string target() const { return scratch.file("f.bin"); }
    std::vector<std::string> Requests() const {
        std::vector<std::string> all = server_->Requests();
        return {all.begin() + std::min(logStart_, all.size()), all.end()};
    }

    static inline std::unique_ptr<test::ScratchFolder> root_;
    static inline std::string content_;
    static inline std::unique_ptr<test::TestServer> server_;
    static inline int tests_ = 0;
    std::string tag_;
    size_t logStart_ = 0;
    std::vector<std::pair<int64_t, int64_t>> progress_;  // received, total
};

TEST_F(HttpDownloadTest, FileArrivesWholeInOneBlockWhenTheLengthIsSmall) {
    DownloadRequest request = FileRequest(Url("/f.bin"));
    int connected = 0;
    request.OnConnected = [&](DownloadRequest&, platform::HttpRequest&) { return ++connected; };
    int32_t finished = 0;
    request.OnFinished = [&](DownloadRequest&, int32_t result, int64_t, int64_t, int64_t) {
        finished = result;
        return 0;
    };
    EXPECT_EQ(HttpDownload(request), kDownloadOk);
    EXPECT_EQ(request.Result, kDownloadOk);
    EXPECT_EQ(finished, kDownloadOk);
    EXPECT_EQ(connected, 1);
    EXPECT_EQ(request.BytesReceived, int64_t(content_.size()));
    EXPECT_TRUE(test::ReadFile(target()) == content_);
    // Block size = the content length: one read with data.
    ASSERT_EQ(progress_.size(), 1u);
    EXPECT_EQ(progress_[0].first, int64_t(content_.size()));
    EXPECT_EQ(progress_[0].second, int64_t(content_.size()));
    EXPECT_EQ(request.Buffer.size(), 0);  // file transfers free their block
    EXPECT_TRUE(Contains(output(), "100% f.bin (3.0 MB/3.0 MB)"));
}

TEST_F(HttpDownloadTest, MemoryTransfersKeepExactlyTheBytes) {
    DownloadRequest request;
    request.Url = Url("/f.bin?redirect=3");
    request.Mode = kIntoMemory;
    request.BlockSize = 100000;
    ASSERT_EQ(HttpDownload(request), kDownloadOk);
    EXPECT_EQ(request.Buffer.size(), int64_t(content_.size()));
    EXPECT_TRUE(request.Buffer.text() == content_);

    test::WriteFile(ServedFile("empty"), "");
    request.Url = Url("/empty");
    ASSERT_EQ(HttpDownload(request), kDownloadOk);
    EXPECT_EQ(request.Buffer.size(), 0);
    EXPECT_EQ(request.BytesReceived, 0);
}

TEST_F(HttpDownloadTest, UnknownLengthReadsDefaultBlocksAndShowsNoPercentage) {
    DownloadRequest request = FileRequest(Url("/f.bin?nolength=1"));
    ASSERT_EQ(HttpDownload(request), kDownloadOk);
    EXPECT_TRUE(test::ReadFile(target()) == content_);
    ASSERT_GT(progress_.size(), 2u);
    EXPECT_EQ(progress_[0], std::make_pair(int64_t(65536), int64_t(0)));
    EXPECT_EQ(progress_[1].first, 131072);
    std::string out = output();
    EXPECT_TRUE(Contains(out, "f.bin (64.0 KB/Unknown)\n")) << out;
    EXPECT_FALSE(Contains(out, "% f.bin"));
}

TEST_F(HttpDownloadTest, OneRetryWithTheUrlsCredentials) {
    std::string url = Url("/f.bin?auth=ann:s3cret");
    DownloadRequest request = FileRequest(url.insert(7, "ann:s3cret@"));
    ASSERT_EQ(HttpDownload(request), kDownloadOk);
    std::vector<std::string> requests = Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_TRUE(Contains(requests[0], "auth=no -> 401"));
    EXPECT_TRUE(Contains(requests[1], "auth=yes -> 200"));

    // A resume opens a new connection: the credentials go with it.
    fs::remove(target());
    size_t before = Requests().size();
    std::string dropping = Url("/f.bin?auth=ann:s3cret&drop=1000000&drops=1");
    request = FileRequest(dropping.insert(7, "ann:s3cret@"));
    request.BlockSize = 65536;
    ASSERT_EQ(HttpDownload(request), kDownloadOk);
    EXPECT_TRUE(test::ReadFile(target()) == content_);
    requests = Requests();
    ASSERT_EQ(requests.size(), before + 3);
    EXPECT_TRUE(Contains(requests[before + 2], "auth=yes -> 206")) << requests[before + 2];

    fs::remove(target());
    before = Requests().size();
    std::string wrong = Url("/f.bin?auth=ann:s3cret");
    request = FileRequest(wrong.insert(7, "ann:guess@"));
    EXPECT_EQ(HttpDownload(request), kHttpStatusError);
    EXPECT_EQ(request.HttpStatus, 401);
    EXPECT_EQ(Requests().size(), before + 2);
    EXPECT_FALSE(fs::exists(target()));
}

TEST_F(HttpDownloadTest, RejectedStatusesEndWithTheStatusAndNoFile) {
    for (int status : {404, 500}) {
        DownloadRequest request = FileRequest(Url("/f.bin?status=" + std::to_string(status)));
        EXPECT_EQ(HttpDownload(request), kHttpStatusError);
        EXPECT_EQ(request.HttpStatus, status);
        EXPECT_EQ(DownloadResultText(request, request.Result),
                  "HTTP status code = " + std::to_string(status));
        EXPECT_FALSE(fs::exists(target()));
    }
    DownloadRequest missing = FileRequest(Url("/nothing-here"));
    EXPECT_EQ(HttpDownload(missing), kHttpStatusError);
    EXPECT_EQ(missing.HttpStatus, 404);
}

TEST_F(HttpDownloadTest, DropsAreResumedFromTheBytesHeldWithTheFirstAnswersTag) {
    DownloadRequest request = FileRequest(Url("/f.bin?drop=random&drops=2"), 5);
    request.BlockSize = 65536;
    ASSERT_EQ(HttpDownload(request), kDownloadOk);
    EXPECT_TRUE(test::ReadFile(target()) == content_);
    EXPECT_EQ(request.ResumeAttempt, 2);
    std::vector<std::string> requests = Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_TRUE(Contains(requests[0], "range=- if-range=- auth=no -> 200"));
    std::string last = std::to_string(content_.size() - 1);
    for (int i : {1, 2}) {
        EXPECT_TRUE(Contains(requests[i], "-" + last + " if-range=\"")) << requests[i];
        EXPECT_TRUE(Contains(requests[i], "-> 206"));
    }
    std::string out = output();
    EXPECT_TRUE(Contains(out, "% ERROR, Attempt to resume downloading, #1 ..."));
    EXPECT_TRUE(Contains(out, "% ERROR, Attempt to resume downloading, #2 ..."));
}

TEST_F(HttpDownloadTest, ResumeWithoutLengthOrTagAsksForTheRestByDate) {
    DownloadRequest request = FileRequest(Url("/f.bin?nolength=1&etag=0&drop=1000000&drops=1"));
    ASSERT_EQ(HttpDownload(request), kDownloadOk);
    EXPECT_TRUE(test::ReadFile(target()) == content_);
    std::vector<std::string> requests = Requests();
    ASSERT_EQ(requests.size(), 2u);
    // The block before the drop may be lost with the connection; the range starts at
    // whatever arrived and stays open-ended.
    EXPECT_TRUE(Contains(requests[1], "range=bytes=")) << requests[1];
    EXPECT_TRUE(Contains(requests[1], "- if-range=")) << requests[1];
    EXPECT_TRUE(Contains(requests[1], " GMT auth=no -> 206")) << requests[1];
    EXPECT_TRUE(Contains(output(), "\nERROR, Attempt to resume downloading, #1 ..."));
}

TEST_F(HttpDownloadTest, AFileChangedOnTheServerIsNeverSpliced) {
    fs::copy_file(ServedFile("f.bin"), ServedFile("changing.bin"));
    DownloadRequest request = FileRequest(Url("/changing.bin?drop=1500000&drops=1"), 2);
    request.BlockSize = 65536;
    bool replaced = false;
    request.OnProgress = [&](DownloadRequest&, int64_t, int64_t, int64_t) {
        if (!replaced) {
            // A new version under the same name: new inode, so a new tag.
            test::WriteFile(ServedFile("new.bin"), RandomBytes(content_.size(), 8));
            fs::rename(ServedFile("new.bin"), ServedFile("changing.bin"));
            replaced = true;
        }
        return 1;
    };
    EXPECT_EQ(HttpDownload(request), kResumeAttemptsUsedUp);
    EXPECT_EQ(request.HttpStatus, 200);
    EXPECT_FALSE(fs::exists(target()));
    std::vector<std::string> requests = Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_TRUE(Contains(requests[1], "if-range=\"") && Contains(requests[1], "-> 200"));
}

TEST_F(HttpDownloadTest, ResumeAnsweredWithTheWholeFileOrAWrongRangeFails) {
    for (const char* mode : {"norange=1", "badrange=1"}) {
        DownloadRequest request =
            FileRequest(Url(std::string("/f.bin?drop=1000000&drops=1&") + mode), 2);
        request.BlockSize = 65536;
        EXPECT_EQ(HttpDownload(request), kResumeAttemptsUsedUp) << mode;
        EXPECT_EQ(request.ResumeAttempt, 3);
        EXPECT_FALSE(fs::exists(target()));
    }
}

// A resumed answer that carries more than its range: the bytes beyond the file's end
// never reach it, and the transfer fails.
TEST_F(HttpDownloadTest, AnAnswerLongerThanItsRangeIsAnError) {
    DownloadRequest request = FileRequest(Url("/f.bin?drop=1000000&drops=1&excess=100"), 3);
    request.BlockSize = 65536;
    EXPECT_EQ(HttpDownload(request), kReadError);
    EXPECT_FALSE(fs::exists(target()));
    EXPECT_EQ(Requests().size(), 2u) << "not resumed";
    EXPECT_EQ(progress_.back().first, int64_t(content_.size()));
}

TEST_F(HttpDownloadTest, NoResumeAttemptsEndAtTheFirstDrop) {
    DownloadRequest request = FileRequest(Url("/f.bin?drop=1000000"), 0);
    request.BlockSize = 65536;
    EXPECT_EQ(HttpDownload(request), kResumeAttemptsUsedUp);
    EXPECT_FALSE(fs::exists(target()));
    EXPECT_EQ(Requests().size(), 1u);

    DownloadRequest memory;
    memory.Url = Url("/f.bin?drop=1000000");
    memory.Mode = kIntoMemory;
    memory.BlockSize = 65536;
    memory.MaxResumeAttempts = 10;
    EXPECT_EQ(HttpDownload(memory), kReadError);
    EXPECT_EQ(memory.Buffer.size(), 0);
    EXPECT_EQ(Requests().size(), 2u);
}

// Raises the transfer cancel flag when the resume wait begins.
class CancellingClock : public platform::Clock {
public:
    uint64_t TickMs() override { return now_; }
    int64_t NowUnixSeconds() override { return 1700000000; }
    void SleepMs(int64_t ms) override {
        now_ += uint64_t(ms);
        if (ms == 1000) core::TransferCancelFlag = 1;
    }

private:
    uint64_t now_ = 0;
};

TEST_F(HttpDownloadTest, CancelInTheResumePathEndsWithTheFailureBeingResumed) {
    platform::SetClock(std::make_unique<CancellingClock>());
    DownloadRequest dropping = FileRequest(Url("/f.bin?drop=0"), 9);
    dropping.BlockSize = 65536;
    EXPECT_EQ(HttpDownload(dropping), kReadError);
    EXPECT_FALSE(fs::exists(target()));

    core::TransferCancelFlag = 0;
    DownloadRequest refused = FileRequest(Url("/f.bin?drop=1000000&norange=1"), 9);
    refused.BlockSize = 65536;
    EXPECT_EQ(HttpDownload(refused), kResumeRefused);
    EXPECT_EQ(refused.ResumeAttempt, 2);
    EXPECT_FALSE(fs::exists(target()));
    EXPECT_TRUE(Contains(output(), "File f.bin Download aborted"));
}

TEST_F(HttpDownloadTest, CancelDuringTheTransferRemovesTheFile) {
    DownloadRequest request = FileRequest(Url("/f.bin?rate=2000000"));
    request.BlockSize = 65536;
    request.OnFinished = ReportDownloadResult;
    core::TransferCancelFlag = 1;
    EXPECT_EQ(HttpDownload(request), kDownloadAborted);
    EXPECT_FALSE(fs::exists(target()));
    EXPECT_EQ(progress_.size(), 1u);
    std::string out = output();
    EXPECT_TRUE(Contains(out, "File f.bin Download aborted"));
    EXPECT_TRUE(Contains(out, "[Information] Download aborted")) << out;
}

TEST_F(HttpDownloadTest, ConnectionFailuresAndBadTargets) {
    // A port nobody listens on: bound, then released.
    int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(probe, reinterpret_cast<sockaddr*>(&address), length), 0);
    getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    close(probe);
    DownloadRequest refused =
        FileRequest("http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/f.bin");
    EXPECT_EQ(HttpDownload(refused), kSendError);
    EXPECT_FALSE(fs::exists(target()));

    DownloadRequest badPort = FileRequest(Url("/f.bin"));
    badPort.Port = 70000;
    badPort.Url = "http://127.0.0.1/f.bin";
    EXPECT_EQ(HttpDownload(badPort), kConnectError);
    EXPECT_TRUE(Contains(output(), "Port 70000 is outside 1-65535"));

    DownloadRequest noFolder = FileRequest(Url("/f.bin"));
    noFolder.FileName = scratch.file("missing/f.bin");
    EXPECT_EQ(HttpDownload(noFolder), kFileCreateError);
    EXPECT_EQ(DownloadResultText(noFolder, kFileCreateError),
              "Cannot create the file " + noFolder.FileName);
}

TEST_F(HttpDownloadTest, AnExistingFileIsLeftAloneWhenTheTransferNeverStarts) {
    test::WriteFile(target(), "keep me");
    DownloadRequest request = FileRequest(Url("/f.bin?status=500"));
    EXPECT_EQ(HttpDownload(request), kHttpStatusError);
    EXPECT_EQ(test::ReadFile(target()), "keep me");
}

// A file transfer that may write 1 MiB at most: ends with 8 and no file.
[[noreturn]] void DownloadWithSmallFileLimit(DownloadRequest request) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit small{1 << 20, 1 << 20};
    setrlimit(RLIMIT_FSIZE, &small);
    request.BlockSize = 65536;
    int32_t result = HttpDownload(request);
    std::_Exit(result == kFileWriteError && !fs::exists(request.FileName) ? 0 : 100 + result);
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kShadowMemory = true;
#elif defined(__has_feature)
constexpr bool kShadowMemory = __has_feature(address_sanitizer) || __has_feature(thread_sanitizer);
#else
constexpr bool kShadowMemory = false;
#endif

// A memory transfer asking for a 2 GiB block with 1 GiB of address space: ends with 4.
[[noreturn]] void DownloadWithSmallAddressSpace(const std::string& url) {
    rlimit small{1ll << 30, 1ll << 30};
    setrlimit(RLIMIT_AS, &small);
    DownloadRequest request;
    request.Url = url;
    request.Mode = kIntoMemory;
    request.BlockSize = 0x7fffffff;
    int32_t result = HttpDownload(request);
    std::_Exit(result == kOutOfMemory ? 0 : 100 + result);
}

// Each in a child process with a resource limit.
TEST_F(HttpDownloadTest, WriteAndMemoryFailuresHaveTheirCodes) {
    GTEST_FLAG_SET(death_test_style, "fast");
    EXPECT_EXIT(DownloadWithSmallFileLimit(FileRequest(Url("/f.bin"))),
                ::testing::ExitedWithCode(0), "");
    if (kShadowMemory) return;  // the sanitizers' shadow memory needs the address space
    EXPECT_EXIT(DownloadWithSmallAddressSpace(Url("/f.bin")), ::testing::ExitedWithCode(0), "");
}

class HttpsDownloadTest : public HttpDownloadTest {
protected:
    static void SetUpTestSuite() { StartServer(true, 200000); }
};

TEST_F(HttpsDownloadTest, TrustedCertificatesOnlyAndResumesOverTls) {
    DownloadRequest untrusted = FileRequest(Url("/f.bin"));
    EXPECT_EQ(HttpDownload(untrusted), kSendError);
    EXPECT_TRUE(Contains(output(), "The server's certificate was rejected"));
    EXPECT_EQ(Requests().size(), 0u);

    setenv("STICKFORGE_CA_FILE", server_->caFile().c_str(), 1);
    DownloadRequest trusted = FileRequest(Url("/f.bin?drop=50000&drops=1"));
    trusted.BlockSize = 16384;
    EXPECT_EQ(HttpDownload(trusted), kDownloadOk);
    EXPECT_TRUE(test::ReadFile(target()) == content_);
    EXPECT_EQ(trusted.ResumeAttempt, 1);

    // The certificate names 127.0.0.1, not localhost.
    std::string url = Url("/f.bin");
    DownloadRequest wrongName = FileRequest(url.replace(url.find("127.0.0.1"), 9, "localhost"));
    EXPECT_EQ(HttpDownload(wrongName), kSendError);

    // A redirect from https to plain http is not followed.
    fs::remove(target());
    fs::create_directories(root_->file("plain"));
    test::TestServer plain(root_->file("plain"));
    ASSERT_TRUE(plain.running());
    DownloadRequest downgraded = FileRequest(Url("/f.bin?location=" + plain.Url("/f.bin")));
    EXPECT_EQ(HttpDownload(downgraded), kSendError);
    EXPECT_FALSE(fs::exists(target()));
    EXPECT_TRUE(plain.Requests().empty());
}

}  // namespace
