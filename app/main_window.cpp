#include "app/main_window.h"

#include "app/icons.h"
#include "core/ids.h"
#include "core/progress.h"
#include "core/settings.h"
#include "core/state.h"
#include "tools/hfs_driver.h"
#include "ui/control_table.h"
#include "ui/toolkit.h"

namespace app {

const char* const MakerPageURL = "https://ormund.github.io/stickforge/";
const char* const CloverSourceURL = "https://sourceforge.net/projects/cloverefiboot/";
const char* const CloverWikiURL = "https://clover-wiki.zetam.org/Home";
const char* const RussianForumURL = "https://www.applelife.ru/threads/clover.42089/";
const char* const DonationURL = "https://ormund.github.io/stickforge/donate.html";

namespace {

using ui::ControlKind;

const ui::ControlRow kMainControls[] = {
    {core::DestinationFrame, ControlKind::GroupFrame, {10, 7, 460, 138}, "Destination Disk", ""},
    {core::DriveTree, ControlKind::TreeView, {15, 25, 450, 86}, "", ""},
    {core::ProgressFrame, ControlKind::GroupFrame, {15, 110, 450, 29}, "", ""},
    {core::ProgressBar, ControlKind::DrawingArea, {20, 119, 440, 16}, "", ""},
    {core::ButtonFrame, ControlKind::GroupFrame, {10, 143, 460, 55}, "", ""},
    {core::BackupButton,
     ControlKind::Button,
     {25, 160, 100, 26},
     "Backup Partition",
     "Backup selected Partition to Image-file"},
    {core::RestoreButton,
     ControlKind::Button,
     {135, 160, 100, 26},
     "Restore Partition",
     "Restore selected Partition from image (*.hfs) file"},
    {core::FormatButton,
     ControlKind::Button,
     {245, 160, 100, 26},
     "Format Disk",
     "Prepare USB flash drive with one of several sets of boot records and Data Set of "
     "Bootloaders"},
    {core::RecoveryButton,
     ControlKind::Button,
     {355, 160, 100, 26},
     "DL HD Recovery",
     "Download MAC OS X HD Recovery from Apple and Extract HFS-Image to Local Repo"},
    {core::ExitButton, ControlKind::Button, {25, 205, 70, 26}, "Exit", ""},
    {core::MakerLink, ControlKind::LinkLabel, {110, 210, 120, 15}, "\xC2\xA9 2016 Ormund", ""},
    {core::EjectButton,
     ControlKind::Button,
     {245, 205, 100, 26},
     "Eject",
     "Safely ejecting of USB Flash drive"},
    {core::RefreshButton,
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
        {core::OptionsMenu,
         "Options",
         {{core::ConfigurationItem, "&Configuration...", core::ConfigurationIcon},
          {0, "", -1},
          {core::QuitItem, "&Quit", -1}}},
        {core::ToolsMenu,
         "Tools",
         {{core::CalculatorItem, "&FixDSDT Calculator for Clover", core::CalculatorIcon},
          {core::InstallHfsItem, "&Install BootCamp HFS+ RO Driver", core::DriverIcon},
          {core::UninstallHfsItem, "&UnInstall BootCamp HFS+ RO Driver", core::DriverIcon},
          {core::ExtractDmgItem, "&Extract HFS(HFS+) partition from DMG-files", core::DmgIcon}}},
        {core::HelpMenu,
         "&Help",
         {{core::HelpItem, "&Help", core::HelpIcon},
          {core::CloverWikiItem, "&Clover WiKi", core::HelpIcon},
          {core::AboutItem, "&About", core::AboutIcon16}}},
        {core::LatestCloverMenu, LatestCloverMenuTitle(), {}},
    };
}

}  // namespace

std::string MainWindowTitle() { return "Stickforge " + core::VersionText + " by Ormund"; }

std::string LatestCloverMenuTitle() {
    if (core::CloverLastRev == "Not Checked") return " Latest Clover: Not Checked";
    return " Latest Clover: r" + core::CloverLastRev;
}

std::string BuildAboutHeader() {
    return "Stickforge\r\n" + core::VersionText + "\r\n\r\n\xC2\xA9 2016 Ormund";
}

void BuildMainWindow() {
    ui::Toolkit& toolkit = ui::UI();
    ui::WindowSpec spec{core::MainWindow,
                        MainWindowTitle(),
                        {480, 265},
                        ui::Rect{core::WinX, core::WinY, 0, 0},
                        ui::WindowStyle::Main,
                        -1};
    toolkit.OpenWindow(spec);
    toolkit.SetMenuBar(core::MainWindow, MainMenus());
    tools::UpdateDriverMenu();
    ui::CreateControls(core::MainWindow, kMainControls);
    core::TaskbarProgress = toolkit.CreateTaskbarProgress(core::MainWindow, 0, 100);
}

void OpenAboutWindow() {
    ui::Toolkit& toolkit = ui::UI();
    if (toolkit.WindowExists(core::AboutWindow)) {
        toolkit.ActivateWindow(core::AboutWindow);
        return;
    }
    if (!toolkit.OpenWindow(
            {core::AboutWindow, "About", {400, 380}, std::nullopt, ui::WindowStyle::Dialog, -1}))
        return;
    ui::ControlStyle icon;
    icon.image = core::ProgramIcon72;
    const ui::ControlRow rows[] = {
        {core::AboutFrame, ControlKind::GroupFrame, {5, 185, 390, 160}, "", ""},
        {core::AboutIcon, ControlKind::Image, {60, 25, 96, 96}, "", "", icon},
        {core::CloverSourceLink,
         ControlKind::LinkLabel,
         {30, 110, 80, 15},
         "- Clover source -",
         ""},
        {core::RussianForumLink,
         ControlKind::LinkLabel,
         {30, 130, 140, 15},
         "- Russian Clover discussion -",
         ""},
        {core::CloverWikiLink, ControlKind::LinkLabel, {30, 150, 80, 15}, "- Clover WiKi -", ""},
        {core::AboutHeaderText,
         ControlKind::CenteredText,
         {210, 15, 125, 75},
         core::AboutHeader,
         ""},
        {core::DonationLink,
         ControlKind::LinkLabel,
         {200, 90, 180, 15},
         "- Support the development -",
         ""},
        {core::AboutPurposeText, ControlKind::Text, {190, 115, 175, 70}, kPurpose, ""},
        {core::AboutHowToText, ControlKind::Text, {30, 200, 360, 150}, kHowTo, ""},
        {core::AboutOkButton, ControlKind::Button, {108, 352, 183, 20}, "OK", ""},
    };
    ui::CreateControls(core::AboutWindow, rows);
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
