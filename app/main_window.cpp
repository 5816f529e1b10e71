#include "app/main_window.h"

#include "app/icons.h"
#include "app/ids.h"
#include "app/progress.h"
#include "app/settings.h"
#include "app/state.h"
#include "tools/hfs_driver.h"
#include "ui/toolkit.h"

namespace app {

const char* const MakerPageURL = "https://ormund.github.io/stickforge/";
const char* const CloverSourceURL = "https://sourceforge.net/projects/cloverefiboot/";
const char* const CloverWikiURL = "https://clover-wiki.zetam.org/Home";
const char* const RussianForumURL = "https://www.applelife.ru/threads/clover.42089/";
const char* const DonationURL = "https://ormund.github.io/stickforge/donate.html";

namespace {

using ui::ControlKind;

struct ControlRow {
    int id;
    ControlKind kind;
    ui::Rect rect;
    const char* text;
    const char* toolTip;
};

const ControlRow kMainControls[] = {
    {DestinationFrame, ControlKind::GroupFrame, {10, 7, 460, 138}, "Destination Disk", ""},
    {DriveTree, ControlKind::TreeView, {15, 25, 450, 86}, "", ""},
    {ProgressFrame, ControlKind::GroupFrame, {15, 110, 450, 29}, "", ""},
    {ProgressBar, ControlKind::DrawingArea, {20, 119, 440, 16}, "", ""},
    {ButtonFrame, ControlKind::GroupFrame, {10, 143, 460, 55}, "", ""},
    {BackupButton,
     ControlKind::Button,
     {25, 160, 100, 26},
     "Backup Partition",
     "Backup selected Partition to Image-file"},
    {RestoreButton,
     ControlKind::Button,
     {135, 160, 100, 26},
     "Restore Partition",
     "Restore selected Partition from image (*.hfs) file"},
    {FormatButton,
     ControlKind::Button,
     {245, 160, 100, 26},
     "Format Disk",
     "Prepare USB flash drive with one of several sets of boot records and Data Set of "
     "Bootloaders"},
    {RecoveryButton,
     ControlKind::Button,
     {355, 160, 100, 26},
     "DL HD Recovery",
     "Download MAC OS X HD Recovery from Apple and Extract HFS-Image to Local Repo"},
    {ExitButton, ControlKind::Button, {25, 205, 70, 26}, "Exit", ""},
    {MakerLink, ControlKind::LinkLabel, {110, 210, 120, 15}, "\xC2\xA9 2016 Ormund", ""},
    {EjectButton,
     ControlKind::Button,
     {245, 205, 100, 26},
     "Eject",
     "Safely ejecting of USB Flash drive"},
    {RefreshButton,
     ControlKind::Button,
     {355, 205, 100, 26},
     "Refresh",
     "Force update of the list of connected drives"},
};

const char kHowTo[] =
    "\tHOW-TO create a Clover Bootable Flash drive:\r\n\r\n"
    "1. Fine-tune the SFK [Configuration] (By default, not required).\r\n"
    "2. Select any Flash Drive (may be tested on virtual or hard drives, too).\r\n"
    "3. [Format] selected Flash Drive into 2 partitions:\r\n"
    "    To the 1st Partition will be automatically installed Clover bootloader.\r\n"
    "4. [DL] any MACOSX HD Recovery and automatically extract HFS-Image\r\n"
    "    Or get another HFS-Image file with any MACOSX distribution.\r\n"
    "5. [Restore ...] HFS-Image file to the 2nd Disk Partition\r\n"
    "6. Enjoy :-)";

const char kPurpose[] =
    "Stickforge is intended to make a external bootable USB Flash Disk by installing to it "
    "special Data set (MBR, PBR sectors and Data files) of EFI-based Clover bootloader.";

std::vector<ui::Menu> MainMenus() {
    return {
        {OptionsMenu,
         "Options",
         {{ConfigurationItem, "&Configuration...", ConfigurationIcon},
          {0, "", -1},
          {QuitItem, "&Quit", -1}}},
        {ToolsMenu,
         "Tools",
         {{CalculatorItem, "&FixDSDT Calculator for Clover", CalculatorIcon},
          {InstallHfsItem, "&Install BootCamp HFS+ RO Driver", DriverIcon},
          {UninstallHfsItem, "&UnInstall BootCamp HFS+ RO Driver", DriverIcon},
          {ExtractDmgItem, "&Extract HFS(HFS+) partition from DMG-files", DmgIcon}}},
        {HelpMenu,
         "&Help",
         {{HelpItem, "&Help", HelpIcon},
          {CloverWikiItem, "&Clover WiKi", HelpIcon},
          {AboutItem, "&About", AboutIcon16}}},
        {LatestCloverMenu, LatestCloverMenuTitle(), {}},
    };
}

}  // namespace

std::string MainWindowTitle() { return "Stickforge " + VersionText + " by Ormund"; }

std::string LatestCloverMenuTitle() {
    if (CloverLastRev == "Not Checked") return " Latest Clover: Not Checked";
    return " Latest Clover: r" + CloverLastRev;
}

std::string BuildAboutHeader() {
    return "Stickforge\r\n" + VersionText + "\r\n\r\n\xC2\xA9 2016 Ormund";
}

void BuildMainWindow() {
    ui::Toolkit& toolkit = ui::UI();
    ui::WindowSpec spec{MainWindow,
                        MainWindowTitle(),
                        {480, 265},
                        ui::Rect{WinX, WinY, 0, 0},
                        ui::WindowStyle::Main,
                        -1};
    toolkit.OpenWindow(spec);
    toolkit.SetMenuBar(MainWindow, MainMenus());
    UpdateHfsDriverMenu();
    for (const ControlRow& row : kMainControls)
        toolkit.CreateControl(MainWindow, row.id, row.kind, row.rect, row.text, row.toolTip);
    TaskbarProgress = toolkit.CreateTaskbarProgress(MainWindow, 0, 100);
}

void OpenAboutWindow() {
    ui::Toolkit& toolkit = ui::UI();
    if (toolkit.WindowExists(AboutWindow)) {
        toolkit.ActivateWindow(AboutWindow);
        return;
    }
    if (!toolkit.OpenWindow(
            {AboutWindow, "About", {400, 380}, std::nullopt, ui::WindowStyle::Dialog, -1}))
        return;
    ui::ControlStyle icon;
    icon.image = ProgramIcon72;
    toolkit.CreateControl(AboutWindow, AboutFrame, ControlKind::GroupFrame, {5, 185, 390, 160}, "",
                          "");
    toolkit.CreateControl(AboutWindow, AboutIcon, ControlKind::Image, {60, 25, 96, 96}, "", "",
                          icon);
    toolkit.CreateControl(AboutWindow, CloverSourceLink, ControlKind::LinkLabel, {30, 110, 80, 15},
                          "- Clover source -", "");
    toolkit.CreateControl(AboutWindow, RussianForumLink, ControlKind::LinkLabel, {30, 130, 140, 15},
                          "- Russian Clover discussion -", "");
    toolkit.CreateControl(AboutWindow, CloverWikiLink, ControlKind::LinkLabel, {30, 150, 80, 15},
                          "- Clover WiKi -", "");
    toolkit.CreateControl(AboutWindow, AboutHeaderText, ControlKind::CenteredText,
                          {210, 15, 125, 75}, AboutHeader, "");
    toolkit.CreateControl(AboutWindow, DonationLink, ControlKind::LinkLabel, {200, 90, 180, 15},
                          "- Support the development -", "");
    toolkit.CreateControl(AboutWindow, AboutPurposeText, ControlKind::Text, {190, 115, 175, 70},
                          kPurpose, "");
    toolkit.CreateControl(AboutWindow, AboutHowToText, ControlKind::Text, {30, 200, 360, 150},
                          kHowTo, "");
    toolkit.CreateControl(AboutWindow, AboutOkButton, ControlKind::Button, {108, 352, 183, 20},
                          "OK", "");
}

void KeepWindowOnScreen(int window) {
    ui::Toolkit& toolkit = ui::UI();
    ui::Rect frame = toolkit.WindowFrame(window);
    ui::Size desktop = toolkit.DesktopSize();
    if (frame.x + frame.w > desktop.w || frame.y + frame.h > desktop.h)
        toolkit.MoveWindow(window, desktop.w / 2 - frame.w / 2, desktop.h / 2 - frame.h / 2);
}

bool IsCursorOverControl(int control) {
    auto cursor = ui::UI().CursorPosition();
    return cursor && ui::UI().ControlScreenRect(control).Contains(cursor->first, cursor->second);
}

}  // namespace app
