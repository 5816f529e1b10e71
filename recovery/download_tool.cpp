#include "recovery/download_tool.h"

#include "core/ids.h"
#include "core/recovery_entry.h"
#include "core/state.h"
#include "ui/control_table.h"
#include "ui/toolkit.h"

namespace recovery {
namespace {

using ui::ControlKind;

const ui::ControlRow kToolControls[] = {
    {core::DownloadToolCaption,
     ControlKind::Text,
     {10, 10, 420, 50},
     "HD Recovery for MAC OS X:",
     ""},
    {core::DownloadToolList, ControlKind::ComboBox, {20, 30, 400, 20}, "", ""},
    {core::DownloadToolCancel, ControlKind::Button, {20, 65, 70, 20}, "Cancel", ""},
    {core::DownloadToolUpdateList,
     ControlKind::Button,
     {95, 65, 70, 20},
     "Update List",
     "Check and Update HD Recovery Download List"},
    {core::DownloadToolOk,
     ControlKind::Button,
     {320, 65, 100, 20},
     "OK",
     "DL selected HD Recovery and Extract HFS Image"},
};

}  // namespace

std::string DownloadToolTitle() {
    return "Download Tool - Stickforge " + core::VersionText + " by Ormund";
}

void OpenDownloadToolWindow() {
    ui::Toolkit& toolkit = ui::UI();
    if (toolkit.WindowExists(core::DownloadToolWindow)) {
        toolkit.ActivateWindow(core::DownloadToolWindow);
        return;
    }
    ui::Rect main = toolkit.WindowFrame(core::MainWindow);
    if (!toolkit.OpenWindow({core::DownloadToolWindow,
                             DownloadToolTitle(),
                             {440, 95},
                             ui::Rect{main.x + 20, main.y + 30, 0, 0},
                             ui::WindowStyle::Dialog,
                             core::MainWindow}))
        return;
    ui::CreateControls(core::DownloadToolWindow, kToolControls);
    std::vector<core::RecoveryEntry> entries = core::RecoveryListCopy();
    for (const core::RecoveryEntry& entry : entries)
        toolkit.AddItem(core::DownloadToolList, entry.Title);
    if (!entries.empty()) toolkit.SelectItem(core::DownloadToolList, 0);
    toolkit.EnableWindow(core::MainWindow, false);
}

int32_t SelectedRecoveryEntry() { return ui::UI().SelectedItem(core::DownloadToolList); }

}  // namespace recovery
