#include "app/dispatch.h"

#include <cstdlib>
#include <filesystem>

#include "app/main_window.h"
#include "app/workers.h"
#include "core/ids.h"
#include "core/settings.h"
#include "core/state.h"
#include "disk/disk_system.h"
#include "disk/drive_list.h"
#include "download/local_repository.h"
#include "imaging/partition_imaging.h"
#include "platform/drivers.h"
#include "prepare/format_and_install.h"
#include "tests/fake_disks.h"
#include "tests/test_support.h"
#include "tests/zip_fixture.h"

namespace {

using ui::Event;
using ui::EventKind;

class DispatchTest : public test::AppTest {
protected:
    DispatchTest() {
        core::VersionText = core::BuildVersionText(19);
        core::CloverLastRev = "Not Checked";
        app::BuildMainWindow();
        app::SetWorkerLauncher([this](app::WorkerProc proc, int32_t argument) {
            started.push_back({proc, argument});
        });
    }
    void Press(int control) { app::DispatchEvent({EventKind::Control, core::MainWindow, control}); }
    void Pick(int item) { app::DispatchEvent({EventKind::Menu, core::MainWindow, item}); }
    void Close(int window) { app::DispatchEvent({EventKind::CloseBox, window, 0}); }

    std::vector<std::pair<app::WorkerProc, int32_t>> started;
};

TEST_F(DispatchTest, FormatArgumentDependsOnBootRecordsAndDataSet) {
    const std::tuple<const char*, const char*, int32_t> cases[] = {
        {"Clover", "DL", 1}, {"Not_Format", "Local", 1}, {"Clover", "Not_Install", 0},
        {"XPC", "DL", 0},    {"Windows", "DL", 0},
    };
    for (auto [records, dataSet, argument] : cases) {
        core::Boot_records = records;
        core::InstallDataSet = dataSet;
        started.clear();
        core::BusyFlag = 0;  // the last run's worker released it
        Press(core::FormatButton);
        ASSERT_EQ(started.size(), 1u);
        EXPECT_EQ(started[0].first, &app::RunWorkflow<prepare::FormatAndInstall>);
        EXPECT_EQ(started[0].second, argument) << records << " " << dataSet;
    }
}

TEST_F(DispatchTest, IdleButtonsStartTheirWorkers) {
    Press(core::BackupButton);
    core::BusyFlag = 0;  // the backup's worker released it
    Press(core::RestoreButton);
    ASSERT_EQ(started.size(), 2u);
    EXPECT_EQ(started[0], (std::pair<app::WorkerProc, int32_t>{&imaging::BackupPartition, 1}));
    EXPECT_EQ(started[1], (std::pair<app::WorkerProc, int32_t>{&imaging::RestorePartition, 1}));
}

// The press claims BusyFlag before the worker runs, so a second quick press, of the same
// button or another, starts nothing; before the worker shows its cancel caption there is
// nothing to cancel.
TEST_F(DispatchTest, TwoQuickPressesStartOneWorker) {
    Press(core::FormatButton);
    Press(core::FormatButton);
    Press(core::BackupButton);
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(core::BusyFlag, 1);
    EXPECT_EQ(core::CancelFlag + core::TransferCancelFlag, 0);

    core::BusyFlag = 0;  // the worker's closing steps
    Press(core::BackupButton);
    EXPECT_EQ(started.size(), 2u);
}

// While one operation runs (its button shows its cancel caption), only that button
// raises a cancel flag. A stray CancelFlag would outlive a backup or restore, as only the
// format clears it, and the repository scans would find nothing until the next format.
TEST_F(DispatchTest, OnlyTheRunningOperationsButtonCancelsIt) {
    struct Running {
        int button;
        const char* caption;
        int32_t cancelFlag, transferCancelFlag;  // what its own press raises
    };
    const Running operations[] = {
        {core::FormatButton, "Format Cancel", 1, 1},
        {core::BackupButton, "Backup Cancel", 0, 1},
        {core::RestoreButton, "Restore Cancel", 0, 1},
        {core::RecoveryButton, "Cancel DL", 0, 1},
    };
    const int buttons[] = {core::FormatButton, core::BackupButton, core::RestoreButton,
                           core::RecoveryButton};
    ASSERT_TRUE(
        test::WriteZip(scratch.file("CloverISO-5000.zip"), {{"boot", "Clover revision: 5000\n"}}));
    core::CloverLocalRepository = scratch.path().string() + "/";
    for (const Running& running : operations) {
        SCOPED_TRACE(running.caption);
        std::string idle = toolkit().GetText(running.button);
        core::BusyFlag = 1;
        toolkit().SetText(running.button, running.caption);
        for (int other : buttons)
            if (other != running.button) Press(other);
        EXPECT_EQ(core::CancelFlag + core::TransferCancelFlag, 0);
        EXPECT_EQ(download::ScanLocalRepository(), 1) << "the archive is found meanwhile";
        Press(running.button);
        EXPECT_EQ(core::CancelFlag, running.cancelFlag);
        EXPECT_EQ(core::TransferCancelFlag, running.transferCancelFlag);
        EXPECT_TRUE(started.empty());
        // The worker's closing steps.
        toolkit().SetText(running.button, idle);
        core::BusyFlag = core::CancelFlag = core::TransferCancelFlag = 0;
    }
}

TEST_F(DispatchTest, ExitAndQuitWaitForIdleButTheCloseBoxDoesNot) {
    core::BusyFlag = 1;
    Press(core::ExitButton);
    Pick(core::QuitItem);
    EXPECT_EQ(core::QuitRequested, 0);
    Close(core::MainWindow);
    EXPECT_EQ(core::QuitRequested, 1);

    core::QuitRequested = 0;
    core::BusyFlag = 0;
    Pick(core::QuitItem);
    EXPECT_EQ(core::QuitRequested, 1);
    core::QuitRequested = 0;
    Press(core::ExitButton);
    EXPECT_EQ(core::QuitRequested, 1);
}

TEST_F(DispatchTest, AboutOpensWhileBusyAndClosesByButtonOrCloseBox) {
    core::BusyFlag = 1;
    Pick(core::AboutItem);
    ASSERT_TRUE(toolkit().WindowExists(core::AboutWindow));
    auto controls = toolkit().Controls();
    EXPECT_EQ(controls[core::AboutOkButton].rect, (ui::Rect{108, 352, 183, 20}));
    Press(core::AboutOkButton);
    EXPECT_FALSE(toolkit().WindowExists(core::AboutWindow));
    Pick(core::AboutItem);
    Close(core::AboutWindow);
    EXPECT_FALSE(toolkit().WindowExists(core::AboutWindow));
    EXPECT_TRUE(toolkit().Windows()[core::MainWindow].enabled);
}

TEST_F(DispatchTest, MissingHelpFileShowsTheErrorBoxAndGoesOn) {
    Pick(core::HelpItem);
    EXPECT_NE(output().find("[Error] Error: Not found help file: Stickforge.chm"),
              std::string::npos);
    EXPECT_EQ(core::QuitRequested, 0);
}

TEST_F(DispatchTest, CalculatorButtonsSetTheMask) {
    core::FixDsdtMask = "12345678";
    Press(core::CalculatorFull);
    EXPECT_EQ(core::FixDsdtMask, "9FFFFFFF");
    Press(core::CalculatorClear);
    EXPECT_EQ(core::FixDsdtMask, "00000000");
    Press(core::CalculatorDefault);
    EXPECT_EQ(core::FixDsdtMask, "87E7FBF1");
}

// The desktop's opener is a script here that notes what it was asked to open.
class LinkTest : public DispatchTest {
protected:
    LinkTest() : path_(std::getenv("PATH")) {
        test::WriteFile(scratch.file("xdg-open"), "#!/bin/sh\necho \"$1\" >>\"$0.opened\"\n");
        std::filesystem::permissions(scratch.file("xdg-open"), std::filesystem::perms::owner_all);
        setenv("PATH", (scratch.path().string() + ":" + path_).c_str(), 1);
    }
    ~LinkTest() override { setenv("PATH", path_.c_str(), 1); }
    std::string ClickOver(int window, int control) {
        ui::Rect rect = toolkit().ControlScreenRect(control);
        toolkit().SetCursor(rect.x + 2, rect.y + 2);
        app::DispatchEvent({EventKind::LeftClick, window, 0});
        std::string opened = test::ReadFile(scratch.file("xdg-open.opened"));
        std::filesystem::remove(scratch.file("xdg-open.opened"));
        return opened;
    }

private:
    std::string path_;
};

TEST_F(LinkTest, AClickOpensOnlyTheLinkOfItsWindowUnderThePointer) {
    EXPECT_EQ(ClickOver(core::MainWindow, core::MakerLink), std::string(app::MakerPageURL) + "\n");
    EXPECT_EQ(ClickOver(core::MainWindow, core::ExitButton), "");
    Pick(core::AboutItem);
    EXPECT_EQ(ClickOver(core::AboutWindow, core::CloverWikiLink),
              std::string(app::CloverWikiURL) + "\n");
    EXPECT_EQ(ClickOver(core::AboutWindow, core::MakerLink), "") << "another window's link";
}

TEST_F(DispatchTest, RefreshKeepsTheSelectionOrItsAbsence) {
    auto& disks = *test::FakeDiskSystem::Install();
    disks.disks[1] =
        test::DiskFacts(7, 8000000000, {{2048, 4000000, 0x0C}, {4002048, 100000, 0xAF}});
    disk::RefreshDriveList();
    ASSERT_EQ(toolkit().ItemCount(core::DriveTree), 3);
    for (int selected : {-1, 2}) {
        toolkit().SelectItem(core::DriveTree, selected);
        Press(core::RefreshButton);
        EXPECT_EQ(toolkit().SelectedItem(core::DriveTree), selected);
    }
    disk::SetDiskSystem(nullptr);
}

// Linux reads HFS+ by itself: the driver entries say so, ask nothing and write nothing.
TEST_F(DispatchTest, TheHfsDriverEntriesOnlyTellWhereTheSystemReadsHfs) {
    for (int item : {core::InstallHfsItem, core::UninstallHfsItem}) {
        size_t before = output().size();
        Pick(item);
        std::string shown = output().substr(before);
        EXPECT_NE(shown.find("reads HFS+ partitions by itself"), std::string::npos) << shown;
        EXPECT_EQ(shown.find("->"), shown.rfind("->")) << "one box, no question: " << shown;
        EXPECT_EQ(shown.find("restart"), std::string::npos) << shown;
    }
    EXPECT_FALSE(std::filesystem::exists(scratch.file("registry")));
    EXPECT_FALSE(std::filesystem::exists(platform::DriversFolder()));
}

TEST_F(DispatchTest, MainLoopEndsOnQuit) {
    toolkit().PostEvent({EventKind::Control, core::MainWindow, core::ExitButton});
    app::MainLoop();
    EXPECT_EQ(core::QuitRequested, 1);
}

}  // namespace
