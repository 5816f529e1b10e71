#include "app/dispatch.h"

#include "app/configuration.h"
#include "app/main_window.h"
#include "app/workers.h"
#include "core/ids.h"
#include "core/setting_choices.h"
#include "core/settings.h"
#include "core/state.h"
#include "disk/drive_list.h"
#include "disk/eject.h"
#include "imaging/partition_imaging.h"
#include "platform/shell.h"
#include "prepare/format_and_install.h"
#include "recovery/download_recovery.h"
#include "recovery/download_tool.h"
#include "recovery/update_recovery_list.h"
#include "resources/dmg_extract.h"
#include "tools/calculator.h"
#include "tools/hfs_driver.h"

namespace app {
namespace {

// Running: the button's own operation runs, so it reads its cancel caption. A press of
// another operation's button cancels nothing: each cancel flag is its own operation's.
enum class When { Idle, Any, Running };

struct Row {
    int id;
    When when;
    void (*action)();
};

struct CancelCaption {
    int id;
    const char* caption;
};

const CancelCaption kCancelCaptions[] = {
    {core::FormatButton, "Format Cancel"},
    {core::BackupButton, "Backup Cancel"},
    {core::RestoreButton, "Restore Cancel"},
    {core::RecoveryButton, "Cancel DL"},
};

bool ShowsCancelCaption(int id) {
    for (const CancelCaption& row : kCancelCaptions)
        if (row.id == id) return ui::UI().GetText(id) == row.caption;
    return false;
}

bool Applies(When when, int id) {
    switch (when) {
        case When::Idle:
            return core::BusyFlag == 0;
        case When::Any:
            return true;
        case When::Running:
            return core::BusyFlag != 0 && ShowsCancelCaption(id);
    }
    return false;
}

void ReenableMainWindow() {
    ui::UI().EnableWindow(core::MainWindow, true);
    ui::UI().ActivateWindow(core::MainWindow);
}

void CancelTransfer() { core::TransferCancelFlag = 1; }
void Quit() { core::QuitRequested = 1; }

// The refill selects its first line; a list without a selection stays without one.
void RefreshKeepingSelection() {
    int selected = ui::UI().SelectedItem(core::DriveTree);
    disk::RefreshDriveList();
    ui::UI().SelectItem(core::DriveTree, selected);
}

void SetMaskFromButton(const char* mask, const char* caption, const char* text) {
    core::FixDsdtMask = mask;
    tools::RefreshCalculator();
    tools::SetCalculatorInfo(caption, text);
}

const Row kControlRows[] = {
    {core::FormatButton, When::Idle,
     [] { StartClaimedWorker(RunWorkflow<prepare::FormatAndInstall>, FormatWorkerArgument()); }},
    {core::FormatButton, When::Running,
     [] {
         core::CancelFlag = 1;
         core::TransferCancelFlag = 1;
     }},
    {core::BackupButton, When::Idle, [] { StartClaimedWorker(imaging::BackupPartition, 1); }},
    {core::BackupButton, When::Running, CancelTransfer},
    {core::RestoreButton, When::Idle, [] { StartClaimedWorker(imaging::RestorePartition, 1); }},
    {core::RestoreButton, When::Running, CancelTransfer},
    {core::RecoveryButton, When::Idle, recovery::OpenDownloadToolWindow},
    {core::RecoveryButton, When::Running, CancelTransfer},
    {core::EjectButton, When::Idle,
     [] {
         disk::EjectSelectedDrive();
         disk::RefreshDriveList();
     }},
    {core::RefreshButton, When::Idle, RefreshKeepingSelection},
    {core::ExitButton, When::Idle, Quit},
    {core::DownloadToolOk, When::Any,
     [] {
         StartWorker(recovery::DownloadRecoveryHD, recovery::SelectedRecoveryEntry());
         ui::UI().CloseWindow(core::DownloadToolWindow);
         ReenableMainWindow();
     }},
    {core::DownloadToolCancel, When::Any,
     [] {
         ui::UI().CloseWindow(core::DownloadToolWindow);
         ReenableMainWindow();
     }},
    {core::DownloadToolUpdateList, When::Any, [] { StartWorker(recovery::UpdateRecoveryList, 0); }},
    {core::AboutOkButton, When::Any,
     [] {
         ui::UI().ActivateWindow(core::MainWindow);
         ui::UI().CloseWindow(core::AboutWindow);
     }},
    {core::CalculatorFull, When::Any, [] { SetMaskFromButton("9FFFFFFF", "", ""); }},
    {core::CalculatorClear, When::Any, [] { SetMaskFromButton("00000000", "", ""); }},
    {core::CalculatorDefault, When::Any,
     [] {
         SetMaskFromButton("87E7FBF1", "Set the NewWay mask",
                           "New way mask for the safe booting 0x87E7FBF1.");
     }},
    {core::CalculatorOk, When::Any,
     [] {
         ReenableMainWindow();
         ui::UI().CloseWindow(core::CalculatorWindow);
     }},
};

void OpenHelpFile() {
    if (!platform::ShellOpen(core::ProgramFolder + "Stickforge.chm"))
        ui::UI().MessageBox("Error", "Not found help file: Stickforge.chm", ui::Icon::Error,
                            ui::Buttons::Ok);
}

const Row kMenuRows[] = {
    {core::ConfigurationItem, When::Idle, OpenConfigurationWindow},
    {core::QuitItem, When::Idle, Quit},
    {core::CalculatorItem, When::Any, tools::OpenCalculatorWindow},
    {core::InstallHfsItem, When::Idle, [] { tools::RunHfsDriverInstall(); }},
    {core::UninstallHfsItem, When::Idle, [] { tools::RunHfsDriverRemoval(); }},
    {core::ExtractDmgItem, When::Idle, [] { StartClaimedWorker(resources::ExtractHfsFromDmg, 0); }},
    {core::HelpItem, When::Any, OpenHelpFile},
    {core::CloverWikiItem, When::Any, [] { platform::ShellOpen(CloverWikiURL); }},
    {core::AboutItem, When::Any, OpenAboutWindow},
};

const Row kCloseRows[] = {
    {core::MainWindow, When::Any, Quit},
    {core::AboutWindow, When::Any,
     [] {
         ReenableMainWindow();
         ui::UI().CloseWindow(core::AboutWindow);
     }},
    {core::ConfigurationWindow, When::Any, CloseConfigurationWindow},
    {core::CalculatorWindow, When::Any,
     [] {
         ReenableMainWindow();
         ui::UI().CloseWindow(core::CalculatorWindow);
     }},
    {core::DownloadToolWindow, When::Any,
     [] {
         ui::UI().CloseWindow(core::DownloadToolWindow);
         ReenableMainWindow();
     }},
};

struct Link {
    int window;
    int control;
    const char* const* target;
};

// Tested in this order; the first one under the pointer wins.
const Link kLinks[] = {
    {core::MainWindow, core::MakerLink, &MakerPageURL},
    {core::AboutWindow, core::CloverSourceLink, &CloverSourceURL},
    {core::AboutWindow, core::CloverWikiLink, &CloverWikiURL},
    {core::AboutWindow, core::RussianForumLink, &RussianForumURL},
    {core::AboutWindow, core::DonationLink, &DonationURL},
};

template <size_t N>
void RunFirstMatch(const Row (&rows)[N], int id) {
    for (const Row& row : rows)
        if (row.id == id && Applies(row.when, id)) {
            row.action();
            return;
        }
}

void DispatchLinkClick(int window) {
    for (const Link& link : kLinks)
        if (link.window == window && IsCursorOverControl(link.control)) {
            platform::ShellOpen(*link.target);
            return;
        }
}

void DispatchControl(int id) {
    if (id >= core::ConfigurationFirst && id <= core::ConfigurationLast) {
        HandleConfigurationEvent({ui::EventKind::Control, core::ConfigurationWindow, id});
    } else if (id >= core::CalculatorBitFirst && id <= core::CalculatorBitLast) {
        tools::ToggleCalculatorBit(id);
    } else {
        RunFirstMatch(kControlRows, id);
    }
}

}  // namespace

int32_t FormatWorkerArgument() {
    core::BootRecordsKind records = core::BootRecordsChoice();
    bool cloverChain =
        records == core::BootRecordsKind::Clover || records == core::BootRecordsKind::NotFormat;
    return cloverChain && core::InstallDataSetChoice() != core::DataSetSource::NotInstall ? 1 : 0;
}

void DispatchEvent(const ui::Event& event) {
    switch (event.kind) {
        case ui::EventKind::Control:
            DispatchControl(event.id);
            break;
        case ui::EventKind::Menu:
            RunFirstMatch(kMenuRows, event.id);
            break;
        case ui::EventKind::CloseBox:
            RunFirstMatch(kCloseRows, event.window);
            break;
        case ui::EventKind::LeftClick:
            DispatchLinkClick(event.window);
            break;
        case ui::EventKind::DeviceChange:
            if (core::BusyFlag == 0) disk::RefreshDriveList();
            break;
    }
}

void MainLoop() {
    while (core::QuitRequested == 0)
        if (auto event = ui::UI().WaitEvent(100)) DispatchEvent(*event);
}

}  // namespace app
