#include "app/dispatch.h"

#include "app/configuration.h"
#include "app/ids.h"
#include "app/main_window.h"
#include "app/settings.h"
#include "app/state.h"
#include "app/workers.h"
#include "disk/drive_list.h"
#include "disk/eject.h"
#include "imaging/partition_imaging.h"
#include "platform/shell.h"
#include "prepare/format_and_install.h"
#include "recovery/download_tool.h"
#include "resources/dmg_extract.h"
#include "tools/calculator.h"
#include "tools/hfs_driver.h"

namespace app {
namespace {

enum class When { Idle, Busy, Any, CancellingDownload };

struct Row {
    int id;
    When when;
    void (*action)();
};

bool Applies(When when) {
    switch (when) {
        case When::Idle:
            return BusyFlag == 0;
        case When::Busy:
            return BusyFlag != 0;
        case When::Any:
            return true;
        case When::CancellingDownload:
            return BusyFlag != 0 && ui::UI().GetText(RecoveryButton) == "Cancel DL";
    }
    return false;
}

void ReenableMainWindow() {
    ui::UI().EnableWindow(MainWindow, true);
    ui::UI().ActivateWindow(MainWindow);
}

void CancelTransfer() { TransferCancelFlag = 1; }
void Quit() { QuitRequested = 1; }

void RefreshKeepingSelection() {
    int selected = ui::UI().SelectedItem(DriveTree);
    RefreshDriveList();
    if (selected != -1) ui::UI().SelectItem(DriveTree, selected);
}

void SetMaskFromButton(const char* mask, const char* caption, const char* text) {
    FixDsdtMask = mask;
    RefreshCalculator();
    SetCalculatorInfo(caption, text);
}

const Row kControlRows[] = {
    {FormatButton, When::Idle, [] { StartWorker(FormatAndInstall, FormatWorkerArgument()); }},
    {FormatButton, When::Busy,
     [] {
         CancelFlag = 1;
         TransferCancelFlag = 1;
     }},
    {BackupButton, When::Idle, [] { StartWorker(imaging::BackupPartition, 1); }},
    {BackupButton, When::Busy, CancelTransfer},
    {RestoreButton, When::Idle, [] { StartWorker(imaging::RestorePartition, 1); }},
    {RestoreButton, When::Busy, CancelTransfer},
    {RecoveryButton, When::Idle, OpenDownloadToolWindow},
    {RecoveryButton, When::CancellingDownload, CancelTransfer},
    {EjectButton, When::Idle,
     [] {
         EjectSelectedDrive();
         RefreshDriveList();
     }},
    {RefreshButton, When::Idle, RefreshKeepingSelection},
    {ExitButton, When::Idle, Quit},
    {DownloadToolOk, When::Any,
     [] {
         StartWorker(DownloadRecoveryHD, SelectedRecoveryEntry());
         ui::UI().CloseWindow(DownloadToolWindow);
         ReenableMainWindow();
     }},
    {DownloadToolCancel, When::Any,
     [] {
         ui::UI().CloseWindow(DownloadToolWindow);
         ReenableMainWindow();
     }},
    {DownloadToolUpdateList, When::Any, [] { StartWorker(UpdateRecoveryList, 0); }},
    {AboutOkButton, When::Any,
     [] {
         ui::UI().ActivateWindow(MainWindow);
         ui::UI().CloseWindow(AboutWindow);
     }},
    {CalculatorFull, When::Any, [] { SetMaskFromButton("9FFFFFFF", "", ""); }},
    {CalculatorClear, When::Any, [] { SetMaskFromButton("00000000", "", ""); }},
    {CalculatorDefault, When::Any,
     [] {
         SetMaskFromButton("87E7FBF1", "Set the NewWay mask",
                           "New way mask for the safe booting 0x87E7FBF1.");
     }},
    {CalculatorOk, When::Any,
     [] {
         ReenableMainWindow();
         ui::UI().CloseWindow(CalculatorWindow);
     }},
};

void OpenHelpFile() {
    if (!platform::ShellOpen(ProgramFolder + "Stickforge.chm"))
        ui::UI().MessageBox("Error", "Not found help file: Stickforge.chm", ui::Icon::Error,
                            ui::Buttons::Ok);
}

const Row kMenuRows[] = {
    {ConfigurationItem, When::Idle, OpenConfigurationWindow},
    {QuitItem, When::Idle, Quit},
    {CalculatorItem, When::Any, OpenCalculatorWindow},
    {InstallHfsItem, When::Idle, InstallHfsDrivers},
    {UninstallHfsItem, When::Idle, UninstallHfsDrivers},
    {ExtractDmgItem, When::Idle, [] { StartWorker(ExtractHfsFromDmg, 0); }},
    {HelpItem, When::Any, OpenHelpFile},
    {CloverWikiItem, When::Any, [] { platform::ShellOpen(CloverWikiURL); }},
    {AboutItem, When::Any, OpenAboutWindow},
};

const Row kCloseRows[] = {
    {MainWindow, When::Any, Quit},
    {AboutWindow, When::Any,
     [] {
         ReenableMainWindow();
         ui::UI().CloseWindow(AboutWindow);
     }},
    {ConfigurationWindow, When::Any,
     [] {
         ReenableMainWindow();
         ui::UI().CloseWindow(ConfigurationWindow);
         SaveSettings();
     }},
    {CalculatorWindow, When::Any,
     [] {
         ReenableMainWindow();
         ui::UI().CloseWindow(CalculatorWindow);
     }},
};

struct Link {
    int window;
    int control;
    const char* const* target;
};

// Tested in this order; the first one under the pointer wins.
const Link kLinks[] = {
    {MainWindow, MakerLink, &MakerPageURL},
    {AboutWindow, CloverSourceLink, &CloverSourceURL},
    {AboutWindow, CloverWikiLink, &CloverWikiURL},
    {AboutWindow, RussianForumLink, &RussianForumURL},
    {AboutWindow, DonationLink, &DonationURL},
};

template <size_t N>
void RunFirstMatch(const Row (&rows)[N], int id) {
    for (const Row& row : rows)
        if (row.id == id && Applies(row.when)) {
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
    if (id >= ConfigurationFirst && id <= ConfigurationLast) {
        HandleConfigurationEvent({ui::EventKind::Control, ConfigurationWindow, id});
    } else if (id >= CalculatorBitFirst && id <= CalculatorBitLast) {
        ToggleCalculatorBit(id);
    } else {
        RunFirstMatch(kControlRows, id);
    }
}

}  // namespace

int32_t FormatWorkerArgument() {
    bool cloverChain = Boot_records == "Clover" || Boot_records == "Not_Format";
    return cloverChain && InstallDataSet != "Not_Install" ? 1 : 0;
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
            if (BusyFlag == 0) RefreshDriveList();
            break;
    }
}

void MainLoop() {
    while (QuitRequested == 0)
        if (auto event = ui::UI().WaitEvent(100)) DispatchEvent(*event);
}

}  // namespace app
