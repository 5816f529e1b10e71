#include "app/dispatch.h"

#include "app/ids.h"
#include "app/main_window.h"
#include "app/settings.h"
#include "app/state.h"
#include "app/workers.h"
#include "imaging/partition_imaging.h"
#include "prepare/format_and_install.h"
#include "tests/test_support.h"

namespace {

using ui::Event;
using ui::EventKind;

class DispatchTest : public test::AppTest {
protected:
    DispatchTest() {
        app::VersionText = app::BuildVersionText(19);
        app::CloverLastRev = "Not Checked";
        app::BuildMainWindow();
        app::SetWorkerLauncher([this](app::WorkerProc proc, int32_t argument) {
            started.push_back({proc, argument});
        });
    }
    void Press(int control) { app::DispatchEvent({EventKind::Control, app::MainWindow, control}); }
    void Pick(int item) { app::DispatchEvent({EventKind::Menu, app::MainWindow, item}); }
    void Close(int window) { app::DispatchEvent({EventKind::CloseBox, window, 0}); }

    std::vector<std::pair<app::WorkerProc, int32_t>> started;
};

TEST_F(DispatchTest, FormatArgumentDependsOnBootRecordsAndDataSet) {
    const std::tuple<const char*, const char*, int32_t> cases[] = {
        {"Clover", "DL", 1}, {"Not_Format", "Local", 1}, {"Clover", "Not_Install", 0},
        {"XPC", "DL", 0},    {"Windows", "DL", 0},
    };
    for (auto [records, dataSet, argument] : cases) {
        app::Boot_records = records;
        app::InstallDataSet = dataSet;
        started.clear();
        Press(app::FormatButton);
        ASSERT_EQ(started.size(), 1u);
        EXPECT_EQ(started[0].first, &app::FormatAndInstall);
        EXPECT_EQ(started[0].second, argument) << records << " " << dataSet;
    }
}

TEST_F(DispatchTest, IdleButtonsStartTheirWorkers) {
    Press(app::BackupButton);
    Press(app::RestoreButton);
    ASSERT_EQ(started.size(), 2u);
    EXPECT_EQ(started[0], (std::pair<app::WorkerProc, int32_t>{&imaging::BackupPartition, 1}));
    EXPECT_EQ(started[1], (std::pair<app::WorkerProc, int32_t>{&imaging::RestorePartition, 1}));
}

TEST_F(DispatchTest, BusyButtonsOnlyRaiseTheirCancelFlags) {
    app::BusyFlag = 1;
    Press(app::BackupButton);
    EXPECT_EQ(app::TransferCancelFlag, 1);
    EXPECT_EQ(app::CancelFlag, 0);
    Press(app::FormatButton);
    EXPECT_EQ(app::CancelFlag, 1);
    EXPECT_TRUE(started.empty());

    app::TransferCancelFlag = 0;
    Press(app::RecoveryButton);  // another operation is busy: no cancel meaning
    EXPECT_EQ(app::TransferCancelFlag, 0);
    toolkit().SetText(app::RecoveryButton, "Cancel DL");
    Press(app::RecoveryButton);
    EXPECT_EQ(app::TransferCancelFlag, 1);
}

TEST_F(DispatchTest, ExitAndQuitWaitForIdleButTheCloseBoxDoesNot) {
    app::BusyFlag = 1;
    Press(app::ExitButton);
    Pick(app::QuitItem);
    EXPECT_EQ(app::QuitRequested, 0);
    Close(app::MainWindow);
    EXPECT_EQ(app::QuitRequested, 1);

    app::QuitRequested = 0;
    app::BusyFlag = 0;
    Pick(app::QuitItem);
    EXPECT_EQ(app::QuitRequested, 1);
    app::QuitRequested = 0;
    Press(app::ExitButton);
    EXPECT_EQ(app::QuitRequested, 1);
}

TEST_F(DispatchTest, AboutOpensWhileBusyAndClosesByButtonOrCloseBox) {
    app::BusyFlag = 1;
    Pick(app::AboutItem);
    ASSERT_TRUE(toolkit().WindowExists(app::AboutWindow));
    auto controls = toolkit().Controls();
    EXPECT_EQ(controls[app::AboutOkButton].rect, (ui::Rect{108, 352, 183, 20}));
    Press(app::AboutOkButton);
    EXPECT_FALSE(toolkit().WindowExists(app::AboutWindow));
    Pick(app::AboutItem);
    Close(app::AboutWindow);
    EXPECT_FALSE(toolkit().WindowExists(app::AboutWindow));
    EXPECT_TRUE(toolkit().Windows()[app::MainWindow].enabled);
}

TEST_F(DispatchTest, MissingHelpFileShowsTheErrorBoxAndGoesOn) {
    Pick(app::HelpItem);
    EXPECT_NE(output().find("[Error] Error: Not found help file: Stickforge.chm"),
              std::string::npos);
    EXPECT_EQ(app::QuitRequested, 0);
}

TEST_F(DispatchTest, CalculatorButtonsSetTheMask) {
    app::FixDsdtMask = "12345678";
    Press(app::CalculatorFull);
    EXPECT_EQ(app::FixDsdtMask, "9FFFFFFF");
    Press(app::CalculatorClear);
    EXPECT_EQ(app::FixDsdtMask, "00000000");
    Press(app::CalculatorDefault);
    EXPECT_EQ(app::FixDsdtMask, "87E7FBF1");
}

TEST_F(DispatchTest, LinkClickOpensOnlyWhatIsUnderThePointer) {
    // Nothing under the pointer: no link, no crash.
    toolkit().SetCursor(0, 0);
    app::DispatchEvent({EventKind::LeftClick, app::MainWindow, 0});
    ui::Rect link = toolkit().ControlScreenRect(app::MakerLink);
    EXPECT_EQ(link.w, 120);
    toolkit().SetCursor(link.x + 5, link.y + 5);
    EXPECT_TRUE(app::IsCursorOverControl(app::MakerLink));
    EXPECT_FALSE(app::IsCursorOverControl(app::ExitButton));
}

TEST_F(DispatchTest, RefreshKeepsNoSelectionWhenThereWasNone) {
    Press(app::RefreshButton);
    EXPECT_EQ(toolkit().SelectedItem(app::DriveTree), -1);
}

TEST_F(DispatchTest, MainLoopEndsOnQuit) {
    toolkit().PostEvent({EventKind::Control, app::MainWindow, app::ExitButton});
    app::MainLoop();
    EXPECT_EQ(app::QuitRequested, 1);
}

}  // namespace
