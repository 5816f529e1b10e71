// The Download Tool window through the main loop's dispatch, on the console toolkit.
#include <gtest/gtest.h>

#include "app/dispatch.h"
#include "app/main_window.h"
#include "app/workers.h"
#include "core/ids.h"
#include "core/state.h"
#include "recovery/download_recovery.h"
#include "recovery/update_recovery_list.h"
#include "tests/expected_controls.h"
#include "tests/test_support.h"

namespace {

using namespace core;
using ui::ControlKind;
using ui::EventKind;

using Row = test::ExpectedControl;

// The window as it is meant to look, written out independently of the program's table.
const Row kExpected[] = {
    {DownloadToolCaption, ControlKind::Text, {10, 10, 420, 50}, "HD Recovery for MAC OS X:", ""},
    {DownloadToolList, ControlKind::ComboBox, {20, 30, 400, 20}, "", ""},
    {DownloadToolCancel, ControlKind::Button, {20, 65, 70, 20}, "Cancel", ""},
    {DownloadToolUpdateList,
     ControlKind::Button,
     {95, 65, 70, 20},
     "Update List",
     "Check and Update HD Recovery Download List"},
    {DownloadToolOk,
     ControlKind::Button,
     {320, 65, 100, 20},
     "OK",
     "DL selected HD Recovery and Extract HFS Image"},
};

class DownloadToolTest : public test::AppTest {
protected:
    DownloadToolTest() {
        VersionText = BuildVersionText(19);
        app::BuildMainWindow();
        toolkit().MoveWindow(MainWindow, 100, 50);
        app::SetWorkerLauncher([this](app::WorkerProc proc, int32_t argument) {
            started.push_back({proc, argument});
        });
        RecoveryEntry first, second;
        first.Title = "(15A204h) OS X Recovery HD Update 2015-09-16 453 MB";
        second.Title = "(14F27) OS X Recovery HD Update";
        RecoveryList = {first, second};
    }
    ~DownloadToolTest() override { app::SetWorkerLauncher({}); }

    void PressMain(int id) { app::DispatchEvent({EventKind::Control, MainWindow, id}); }
    void Press(int id) { app::DispatchEvent({EventKind::Control, DownloadToolWindow, id}); }
    bool ToolOpen() { return toolkit().WindowExists(DownloadToolWindow); }
    bool MainEnabled() { return toolkit().Windows().at(MainWindow).enabled; }

    std::vector<std::pair<app::WorkerProc, int32_t>> started;
};

TEST_F(DownloadToolTest, OpensBesideTheDisabledMainWindowWithTheTable) {
    PressMain(RecoveryButton);
    auto windows = toolkit().Windows();
    ASSERT_TRUE(windows.count(DownloadToolWindow));
    const auto& tool = windows.at(DownloadToolWindow);
    EXPECT_EQ(tool.spec.title, "Download Tool - Stickforge v2.1.2016.019 Beta by Ormund");
    EXPECT_EQ(tool.spec.client, (ui::Size{440, 95}));
    EXPECT_EQ(tool.spec.parent, MainWindow);
    EXPECT_EQ(tool.frame.x, windows.at(MainWindow).frame.x + 20);
    EXPECT_EQ(tool.frame.y, windows.at(MainWindow).frame.y + 30);
    EXPECT_FALSE(MainEnabled());

    auto controls = toolkit().Controls();
    for (const Row& row : kExpected) {
        SCOPED_TRACE(row.id);
        ASSERT_TRUE(controls.count(row.id));
        test::ExpectControl(controls.at(row.id), DownloadToolWindow, row);
    }
    const auto& list = controls.at(DownloadToolList);
    ASSERT_EQ(list.items.size(), 2u);
    EXPECT_EQ(list.items[0].first, RecoveryList[0].Title);
    EXPECT_EQ(list.items[1].first, RecoveryList[1].Title);
    EXPECT_EQ(list.selected, 0);
}

TEST_F(DownloadToolTest, TheButtonsStartTheirWorkersAndCloseAsTheyShould) {
    PressMain(RecoveryButton);
    Press(DownloadToolUpdateList);
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].first, recovery::UpdateRecoveryList);
    EXPECT_TRUE(ToolOpen()) << "Update List leaves the window open";

    toolkit().SelectItem(DownloadToolList, 1);
    Press(DownloadToolOk);
    ASSERT_EQ(started.size(), 2u);
    EXPECT_EQ(started[1], (std::pair<app::WorkerProc, int32_t>{recovery::DownloadRecoveryHD, 1}));
    EXPECT_FALSE(ToolOpen());
    EXPECT_TRUE(MainEnabled());

    PressMain(RecoveryButton);
    Press(DownloadToolCancel);
    EXPECT_FALSE(ToolOpen());
    EXPECT_TRUE(MainEnabled());
    EXPECT_EQ(started.size(), 2u);

    PressMain(RecoveryButton);
    app::DispatchEvent({EventKind::CloseBox, DownloadToolWindow, 0});
    EXPECT_FALSE(ToolOpen());
    EXPECT_TRUE(MainEnabled());
}

TEST_F(DownloadToolTest, WhileADownloadRunsTheButtonCancelsIt) {
    BusyFlag = 1;
    toolkit().SetText(RecoveryButton, "Cancel DL");
    PressMain(RecoveryButton);
    EXPECT_EQ(TransferCancelFlag, 1);
    EXPECT_FALSE(ToolOpen());
    BusyFlag = 0;
}

}  // namespace
