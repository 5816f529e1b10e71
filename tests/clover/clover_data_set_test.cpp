// The "DL" data set's ways out that the command-line test cannot reach: another download
// running, a cancelled download, a download that outlasts the wait and a cancel during
// the extraction. Each leaves no temporary folder and reports what happened, never
// success.
#include "download/clover_data_set.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "app/main_window.h"
#include "core/settings.h"
#include "core/state.h"
#include "download/download_slot.h"
#include "platform/clock.h"
#include "tests/download/test_server.h"
#include "tests/test_support.h"
#include "ui/toolkit.h"

namespace {

namespace fs = std::filesystem;

// Waits pass at once; with a stride, every reading of the clock moves it on as well, so
// that a wait limit runs out within a few polls.
class SteppingClock : public platform::Clock {
public:
    explicit SteppingClock(uint64_t stride = 0) : stride_(stride) {}
    uint64_t TickMs() override { return now_ += stride_; }
    int64_t NowUnixSeconds() override { return 1700000000 + int64_t(now_ / 1000); }
    void SleepMs(int64_t ms) override { now_ += uint64_t(ms > 0 ? ms : 0); }

private:
    uint64_t stride_;
    std::atomic<uint64_t> now_{1000};
};

class CloverDataSet : public test::AppTest {
protected:
    CloverDataSet() {
        platform::SetClock(std::make_unique<SteppingClock>());
        setenv("TMPDIR", scratch.path().c_str(), 1);
        fs::create_directories(scratch.file("stick"));
        core::DownloadRevision = "5151";
        core::ResumeMaxAttemptsNumber = 0;
    }
    ~CloverDataSet() override {
        // A download left running by a test must end before the next one starts.
        download::WaitUntil([] { return !core::DownloadThreadRunning; }, 60000);
        core::TransferCancelFlag = 0;
        core::CancelFlag = 0;
        unsetenv("STICKFORGE_CLOVER_HOST");
        unsetenv("TMPDIR");
    }

    bool Said(const std::string& text) { return output().find(text) != std::string::npos; }
    bool NoTempFolder() {
        for (const auto& entry : fs::directory_iterator(scratch.path()))
            if (entry.path().filename().string().starts_with("SFKTemp")) return false;
        return core::TempFolder.empty();
    }
    bool StickEmpty() { return fs::is_empty(scratch.file("stick")); }
};

TEST_F(CloverDataSet, AnotherDownloadRunningStopsItAtOnce) {
    ASSERT_TRUE(download::ClaimDownloadSlot());
    setenv("STICKFORGE_CLOVER_HOST", "http://127.0.0.1:1", 1);
    EXPECT_EQ(download::InstallCloverDataSet(scratch.file("stick")), core::Outcome::Failed);
    EXPECT_TRUE(Said("[Error!] Error: Can't download Latest Clover.\n")) << output();
    EXPECT_TRUE(core::DownloadThreadRunning) << "the other download keeps its slot";
    download::ReleaseDownloadSlot();
    EXPECT_TRUE(NoTempFolder());
    EXPECT_TRUE(StickEmpty());
}

TEST_F(CloverDataSet, ACancelledDownloadIsNoInstallation) {
    std::string archive = scratch.file(
        "mirror/projects/cloverefiboot/files/Bootable_ISO/"
        "CloverISO-5151.tar.lzma/download");
    fs::create_directories(fs::path(archive).parent_path());
    test::WriteFile(archive, std::string(3 << 20, 'x'));
    test::TestServer server(scratch.file("mirror"));
    ASSERT_TRUE(server.running());
    setenv("STICKFORGE_CLOVER_HOST", server.Url("").c_str(), 1);
    core::TransferCancelFlag = 1;
    EXPECT_EQ(download::InstallCloverDataSet(scratch.file("stick")), core::Outcome::Cancelled);
    EXPECT_TRUE(Said("[Information] Download aborted")) << output();
    EXPECT_FALSE(Said("[Error")) << "no further message: " << output();
    EXPECT_TRUE(NoTempFolder());
    EXPECT_TRUE(StickEmpty());
}

// A server that takes the connection and never answers.
class SilentServer {
public:
    SilentServer() : socket_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(socket_, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
            listen(socket_, 4) == 0 &&
            getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port_ = ntohs(address.sin_port);
    }
    ~SilentServer() { Close(); }
    // Resets the connections it never answered.
    void Close() {
        if (socket_ >= 0) close(socket_);
        socket_ = -1;
    }
    int port() const { return port_; }

private:
    int socket_;
    int port_ = 0;
};

// The transfer is stopped and its thread has ended before the folder goes: a transfer
// that went on would write into a deleted file (Linux) or keep the folder (Windows).
TEST_F(CloverDataSet, ADownloadOutlastingTheWaitIsStoppedFirst) {
    SilentServer server;
    ASSERT_GT(server.port(), 0);
    setenv("STICKFORGE_CLOVER_HOST", ("http://127.0.0.1:" + std::to_string(server.port())).c_str(),
           1);
    platform::SetClock(std::make_unique<SteppingClock>(100000));
    EXPECT_EQ(download::InstallCloverDataSet(scratch.file("stick")), core::Outcome::Failed);
    EXPECT_TRUE(Said("[Error!] Error: Can't download Latest Clover: Timeout 300 secs.\n"))
        << output();
    EXPECT_FALSE(core::DownloadThreadRunning) << "the download went on after the timeout";
    EXPECT_FALSE(Said("Download aborted")) << "the timeout is the one message: " << output();
    EXPECT_TRUE(NoTempFolder());
    server.Close();
}

// Raises CancelFlag at the first progress of the extraction onto the target, as the
// cancel button would.
class CancellingExtraction : public ui::ConsoleToolkit {
public:
    using ConsoleToolkit::ConsoleToolkit;
    void PaintStatus(int id, const ui::StatusPaint& paint) override {
        if (paint.text.starts_with("Extracted (")) core::CancelFlag = 1;
        ConsoleToolkit::PaintStatus(id, paint);
    }
};

TEST_F(CloverDataSet, ACancelDuringTheExtractionIsACancel) {
    for (const char* tool : {"python3", "xorriso", "xz"})
        if (std::system(("command -v " + std::string(tool) + " >/dev/null").c_str()) != 0)
            GTEST_SKIP() << tool << " is not installed";
    std::string mirror = "sh '" STICKFORGE_CLOVER_MIRROR "' '" STICKFORGE_BOOT_FILE "' '" +
                         scratch.file("mirror") + "' 5151 >/dev/null";
    ASSERT_EQ(std::system(mirror.c_str()), 0);
    test::TestServer server(scratch.file("mirror"));
    ASSERT_TRUE(server.running());
    setenv("STICKFORGE_CLOVER_HOST", server.Url("").c_str(), 1);
    FILE* out = std::tmpfile();
    ui::SetToolkit(std::make_unique<CancellingExtraction>(ui::ConsoleOptions{false, out, nullptr}));
    app::BuildMainWindow();  // the extraction shows its progress in it

    EXPECT_EQ(download::InstallCloverDataSet(scratch.file("stick")), core::Outcome::Cancelled);
    ui::SetToolkit(nullptr);
    std::rewind(out);
    std::string said;
    for (int c; (c = std::fgetc(out)) != EOF;) said += char(c);
    std::fclose(out);
    EXPECT_NE(said.find("Extracted (1/"), std::string::npos) << said;
    EXPECT_EQ(said.find("Error"), std::string::npos) << said;
    EXPECT_TRUE(NoTempFolder());
}

}  // namespace
