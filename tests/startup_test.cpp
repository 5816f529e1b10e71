#include "app/startup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "app/main_window.h"
#include "app/workers.h"
#include "core/ids.h"
#include "core/progress.h"
#include "core/settings.h"
#include "core/state.h"
#include "platform/clock.h"
#include "platform/instance_lock.h"
#include "platform/registry.h"
#include "tests/test_support.h"

namespace {

class StartUpTest : public test::AppTest {
protected:
    StartUpTest() {
        app::SetWorkerLauncher([](app::WorkerProc, int32_t) {});
        exe = scratch.file(name);
        settings = scratch.file(name + ".ini");
    }
    std::optional<uint32_t> AutoRun() {
        return platform::ReadRegistryDword(core::AutoRunKeyPath, core::AutoRunValueName);
    }
    bool AutoRunExists() {
        return platform::RegistryValueExists(core::AutoRunKeyPath, core::AutoRunValueName);
    }
    void SetAutoRun(uint32_t value) {
        platform::WriteRegistryDword(core::AutoRunKeyPath, core::AutoRunValueName, value);
    }
    ino_t StoreFileIdentity() {
        struct stat info {};
        stat(scratch.file("registry").c_str(), &info);
        return info.st_ino;
    }
    // Tests run as parallel processes; the guard is per executable name.
    std::string name = "stickforge-startup-test-" + std::to_string(getpid());
    std::string exe, settings;
};

TEST_F(StartUpTest, AutoRunIsOffWhileRunningAndAbsentAgainWhenItWasAbsent) {
    ASSERT_TRUE(app::StartUp(exe));
    EXPECT_EQ(AutoRun(), 255u);
    app::ExitSequence();
    EXPECT_FALSE(AutoRunExists());  // 0 would switch AutoRun on for every drive type
}

TEST_F(StartUpTest, AutoRunOfAnotherTypeIsLeftAsFound) {
    platform::WriteRegistryText(core::AutoRunKeyPath, core::AutoRunValueName, "ff");
    std::string before = test::ReadFile(scratch.file("registry"));
    ASSERT_TRUE(app::StartUp(exe));
    EXPECT_TRUE(AutoRunExists());
    EXPECT_EQ(AutoRun(), std::nullopt);
    app::ExitSequence();
    EXPECT_EQ(test::ReadFile(scratch.file("registry")), before);
}

TEST_F(StartUpTest, AutoRunIsRestoredToItsValueAtStart) {
    SetAutoRun(145);
    ASSERT_TRUE(app::StartUp(exe));
    EXPECT_EQ(core::SavedAutoRunValue, "145");
    EXPECT_EQ(AutoRun(), 255u);
    app::ExitSequence();
    EXPECT_EQ(AutoRun(), 145u);
}

// Another program put back what was there at start: the exit has nothing to write. The
// store replaces its file on every write, so an unchanged file is one nobody wrote.
TEST_F(StartUpTest, AutoRunChangedByOthersMeanwhileIsLeftAlone) {
    for (uint32_t atStart : {145u, 7u}) {
        SetAutoRun(atStart);
        ASSERT_TRUE(app::StartUp(exe));
        SetAutoRun(atStart);
        ino_t written = StoreFileIdentity();
        app::ExitSequence();
        EXPECT_EQ(StoreFileIdentity(), written) << atStart;
        EXPECT_EQ(AutoRun(), atStart);
    }
}

TEST_F(StartUpTest, SecondInstanceIsRefusedAndTouchesNothing) {
    bool running = false;
    auto first = platform::AcquireInstanceLock(name, running);
    ASSERT_FALSE(running);
    test::WriteFile(settings, "[Window Settings]\r\nWinX = 5\r\n");
    SetAutoRun(145);

    EXPECT_FALSE(app::StartUp(exe));
    EXPECT_NE(output().find("[" + name + "] Warning: Программа уже запущена."), std::string::npos);
    EXPECT_EQ(AutoRun(), 145u);
    EXPECT_EQ(test::ReadFile(settings), "[Window Settings]\r\nWinX = 5\r\n");
    EXPECT_FALSE(toolkit().WindowExists(core::MainWindow));
}

// The command-line tool is the window's program under another name: its writing verbs
// take the window's guard, its printing ones run beside it.
TEST_F(StartUpTest, TheCommandLineToolSharesTheWindowsGuardWhenItWrites) {
    bool running = false;
    auto window = platform::AcquireInstanceLock(name, running);
    ASSERT_FALSE(running);
    test::WriteFile(settings, "[Window Settings]\r\nWinX = 5\r\n");
    std::string cli = scratch.file(name + "-cli");

    core::WinX = -7;
    EXPECT_FALSE(app::StartFrontEnd(app::FrontEnd::CommandLine, cli, {.guard = true}));
    EXPECT_EQ(core::WinX, -7) << "the settings are not read";
    EXPECT_TRUE(app::StartFrontEnd(app::FrontEnd::CommandLine, cli, {.guard = false}));
    EXPECT_EQ(core::WinX, 5);
    EXPECT_EQ(core::SettingsFilePath(), settings);

    window.reset();
    EXPECT_TRUE(app::StartFrontEnd(app::FrontEnd::CommandLine, cli, {.guard = true}));
    EXPECT_FALSE(app::StartUp(exe)) << "the tool now holds the guard";
}

// The window's status line is overwritten by the next text, so it pauses to be read; the
// tool's lines stay on the terminal, so it does not.
TEST_F(StartUpTest, OnlyTheWindowPausesToLetAStatusBeRead) {
    app::BuildMainWindow();
    for (auto [frontEnd, pause] :
         {std::pair{app::FrontEnd::CommandLine, 0}, std::pair{app::FrontEnd::Window, 2000}}) {
        ASSERT_TRUE(app::StartFrontEnd(frontEnd, exe, {.guard = false}));
        uint64_t before = platform::SystemClock().TickMs();
        core::ShowStatus("Backup Done", 2000);
        EXPECT_EQ(platform::SystemClock().TickMs() - before, uint64_t(pause));
    }
    app::RestoreAutoRun();
}

TEST_F(StartUpTest, AnotherExecutableNameStartsBesideTheFirst) {
    bool running = false;
    auto first = platform::AcquireInstanceLock("stickforge-other-name", running);
    ASSERT_FALSE(running);
    EXPECT_TRUE(app::StartUp(exe));
    app::ExitSequence();
}

TEST_F(StartUpTest, ExitWritesTheSettingsFileWithTheWindowPosition) {
    ASSERT_TRUE(app::StartUp(exe));
    toolkit().MoveWindow(core::MainWindow, 123, 45);
    app::ExitSequence();
    std::string written = test::ReadFile(settings);
    EXPECT_EQ(written.rfind("\xEF\xBB\xBF", 0), 0u);
    EXPECT_NE(written.find("WinX = 123\r\nWinY = 45\r\n"), std::string::npos);
}

TEST_F(StartUpTest, MainWindowMatchesItsLayout) {
    test::WriteFile(settings,
                    "[Data Settings]\r\nCloverLastRev = 1234\r\n"
                    "CloverLastRevCheckDate = 01.02.16 10:20:30\r\n");
    ASSERT_TRUE(app::StartUp(exe));
    auto windows = toolkit().Windows();
    const auto& main = windows[core::MainWindow];
    EXPECT_EQ(main.spec.title, "Stickforge v2.1.2016.019 Beta by Ormund");
    EXPECT_EQ(main.spec.client, (ui::Size{480, 265}));
    EXPECT_EQ(main.frame.x, 400);
    ASSERT_EQ(main.menus.size(), 4u);
    EXPECT_EQ(main.menus[3].title, " Latest Clover: r1234");
    EXPECT_EQ(main.menus[0].items[0].text, "&Configuration...");
    EXPECT_EQ(main.menus[0].items[1].id, 0);  // separator
    EXPECT_EQ(main.menus[2].items[2].icon, core::AboutIcon16);
    EXPECT_EQ(core::DownloadRevisions, std::vector<int32_t>{1234});

    auto controls = toolkit().Controls();
    EXPECT_EQ(controls[core::DriveTree].rect, (ui::Rect{15, 25, 450, 86}));
    EXPECT_EQ(controls[core::ProgressBar].rect, (ui::Rect{20, 119, 440, 16}));
    EXPECT_EQ(controls[core::FormatButton].text, "Format Disk");
    EXPECT_EQ(controls[core::RefreshButton].toolTip,
              "Force update of the list of connected drives");
    EXPECT_EQ(controls[core::MakerLink].kind, ui::ControlKind::LinkLabel);
    app::ExitSequence();
}

TEST_F(StartUpTest, WindowPastTheDesktopEdgeIsCentred) {
    test::WriteFile(settings, "[Window Settings]\r\nWinX = 1900\r\nWinY = 10\r\n");
    ASSERT_TRUE(app::StartUp(exe));
    ui::Rect frame = toolkit().WindowFrame(core::MainWindow);
    EXPECT_EQ(frame.x, 1920 / 2 - 480 / 2);
    EXPECT_EQ(frame.y, 1080 / 2 - 265 / 2);
    app::ExitSequence();
}

TEST_F(StartUpTest, NegativePositionsAreKept) {
    test::WriteFile(settings, "[Window Settings]\r\nWinX = -50\r\nWinY = 10\r\n");
    ASSERT_TRUE(app::StartUp(exe));
    EXPECT_EQ(toolkit().WindowFrame(core::MainWindow).x, -50);
    app::ExitSequence();
}

// A user who answers every question with OK closes the program while a worker runs: what
// the worker asks from then on must not read as OK.
TEST_F(StartUpTest, QuestionsOfAWorkerAfterTheExitAreDeclined) {
    toolkit().SetAssumeYes(true);
    ASSERT_TRUE(app::StartUp(exe));
    app::ExitSequence();
    auto ask = [](ui::Buttons buttons) {
        return std::async(std::launch::async,
                          [buttons] {
                              return ui::UI().MessageBox("WARNING", "ALL DATA ON DEVICE",
                                                         ui::Icon::Warning, buttons);
                          })
            .get();
    };
    EXPECT_EQ(ask(ui::Buttons::OkCancel), ui::Answer::Cancel);
    EXPECT_EQ(ask(ui::Buttons::YesNo), ui::Answer::No);
    EXPECT_EQ(ask(ui::Buttons::YesNoCancel), ui::Answer::Cancel);
    EXPECT_EQ(ask(ui::Buttons::Ok), ui::Answer::Ok);
    EXPECT_EQ(ui::UI().SaveFileRequester("Save", "/tmp/image.hfs", {}, 0), "");
}

std::atomic<bool> releaseWorker{false};

void WaitForRelease(int32_t) {
    while (!releaseWorker) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TEST(Workers, RunningWorkersAreCounted) {
    app::SetWorkerLauncher(nullptr);
    releaseWorker = false;
    app::StartWorker(WaitForRelease, 0);
    EXPECT_EQ(app::LiveWorkers(), 1);
    releaseWorker = true;
    while (app::LiveWorkers() != 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(app::EndProgram(5), 5);  // nothing runs: main returns as usual
}

void BlockForever(int32_t) {
    for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
}

// The process ends at once rather than destroying the toolkit and the globals under a
// worker; with no worker left it returns normally.
TEST(WorkersDeathTest, TheProgramEndsAtOnceWhileAWorkerRuns) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            app::StartWorker(BlockForever, 0);
            app::EndProgram(3);
            std::exit(9);
        },
        ::testing::ExitedWithCode(3), "");
}

TEST(ProgramLocation, NamesFollowTheExecutable) {
    core::SetProgramLocation("/opt/sf/stickforge");
    EXPECT_EQ(core::ProgramFolder, "/opt/sf/");
    EXPECT_EQ(core::ProgramFileName, "stickforge");
    EXPECT_EQ(core::ProgramBaseName, "stickforge");
    core::SetProgramLocation("/opt/sf/Stickforge.exe");
    EXPECT_EQ(core::ProgramBaseName, "Stickforge");
    EXPECT_EQ(core::BuildVersionText(19), "v2.1.2016.019 Beta");
    EXPECT_EQ(core::BuildVersionText(1234), "v2.1.2016.1234 Beta");
}

}  // namespace
