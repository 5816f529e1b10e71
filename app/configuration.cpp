#include "app/configuration.h"

#include <algorithm>
#include <string>
#include <vector>

#include "app/workers.h"
#include "core/ids.h"
#include "core/setting_choices.h"
#include "core/settings.h"
#include "core/state.h"
#include "disk/drive_list.h"
#include "download/latest_revision.h"
#include "download/local_repository.h"
#include "platform/paths.h"
#include "ui/control_table.h"

namespace app {
namespace {

using core::BootRecordsKind;
using core::DataSetSource;
using ui::ControlKind;
using ui::ControlRow;

constexpr char kHostingSite[] = "SourceForge";
constexpr int kVolumeLabelLimit = 11;
constexpr int32_t kFallbackBootPartitionSize = 64;

ui::ControlStyle Disabled() { return {.disabled = true}; }
ui::ControlStyle GroupStart() { return {.optionGroupStart = true}; }

std::string CheckedCaption() {
    return "Checked: " + (core::CloverLastRev == "Not Checked" ? std::string("Not Checked")
                                                               : core::CloverLastRevCheckDate);
}

// clang-format off
std::vector<ControlRow> ConfigurationRows() {
    const std::string site = kHostingSite;
    return {
        {core::SourceFrame, ControlKind::GroupFrame, {5, 5, 265, 170}, "Clover Bootloader Source", "", {}},
        {core::LocalOption, ControlKind::OptionButton, {15, 25, 40, 21}, "Local", "Local Repository", GroupStart()},
        {core::DownloadOption, ControlKind::OptionButton, {15, 55, 35, 20}, "DL", "Download from " + site, {}},
        {core::NotInstallOption, ControlKind::OptionButton, {15, 146, 80, 20}, "Not Install", "Format Disk Only", {}},
        {core::LocalArchiveChoice, ControlKind::ComboBox, {60, 25, 125, 20}, "", "Select Found Dist", Disabled()},
        {core::LocalRevisionText, ControlKind::Text, {193, 28, 70, 15}, "", "", Disabled()},
        {core::DownloadRevisionChoice, ControlKind::ComboBox, {60, 55, 55, 20}, "", "Select Revision for Download", Disabled()},
        {core::CheckedText, ControlKind::Text, {120, 57, 140, 15}, CheckedCaption(), "", {}},
        {core::CheckFrame, ControlKind::GroupFrame, {15, 75, 245, 65}, "", "", {}},
        {core::CheckAtStartupBox, ControlKind::CheckBox, {30, 85, 110, 20}, "Check at Startup", "Check the Latest Rev. at Startup", {}},
        {core::SaveAfterDownloadBox, ControlKind::CheckBox, {30, 115, 100, 20}, "Save after DL", "Save after Download SFK-ready Clover Distr to Local Repo", {}},
        {core::CloverRepositoryButton, ControlKind::Button, {180, 115, 65, 20}, "Local Repo", "Set Clover SFK-ready Archives Local Repository Path", {}},
        {core::CheckNowButton, ControlKind::Button, {180, 85, 65, 20}, "Check Now", "Check the Latest Rev. on " + site, {}},
        {core::FormatOptionsFrame, ControlKind::GroupFrame, {5, 175, 265, 205}, "Format options", "", {}},
        {core::BootRecordsFrame, ControlKind::GroupFrame, {15, 190, 110, 135}, "Boot records", "", {}},
        {core::CloverOption, ControlKind::OptionButton, {30, 210, 60, 20}, "Clover", "Format drive and Install Clover Boot records", GroupStart()},
        {core::WindowsOption, ControlKind::OptionButton, {30, 240, 75, 20}, "Windows", "Format drive and Install Windows Boot records", {}},
        {core::XpcOption, ControlKind::OptionButton, {30, 270, 45, 20}, "XPC", "Format drive and Install XPC Bootloader records", {}},
        {core::NotFormatOption, ControlKind::OptionButton, {30, 300, 80, 20}, "Not Format", "Don't Re-Format Drive", {}},
        {core::VolumeLabelCaption, ControlKind::Text, {145, 190, 75, 15}, "Volume label", "", {}},
        {core::VolumeLabelField, ControlKind::EditBox, {145, 210, 100, 20}, core::VolumeLabel, "", {.maxLength = kVolumeLabelLimit}},
        {core::FileSystemList, ControlKind::ComboBox, {145, 240, 100, 20}, "", "FAT32 for old BIOS/OS ver. | FAT32-LBA for Modern USB Flash/Hard drives", {}},
        {core::ClusterList, ControlKind::ComboBox, {145, 270, 100, 20}, "", "", {}},
        {core::AlignmentList, ControlKind::ComboBox, {145, 300, 100, 20}, "", "63 sec old align to cylinder | 2048-8192 sec for Modern USB Flash/Hard drives", {}},
        {core::MultiPartitionFrame, ControlKind::GroupFrame, {15, 325, 245, 50}, "Multi Partitioning", "", {}},
        {core::TwoPartitionsBox, ControlKind::CheckBox, {30, 345, 145, 20}, "Boot Partition Size (MB)", "Create 2 Partitions: 1-st Boot(Clover) and 2-nd for deployment of MACOSX distr", {}},
        {core::BootPartitionSizeField, ControlKind::EditBox, {180, 345, 65, 20}, std::to_string(core::BootPartitionSize), "32 - 200000 MB", {.digitsOnly = true, .centred = true}},
        {core::OtherFrame, ControlKind::GroupFrame, {5, 380, 265, 45}, "Other", "", {}},
        {core::EnableFixedDisksBox, ControlKind::CheckBox, {30, 395, 120, 20}, "Enable Fixed Disks", "For advanced users only! Use it with caution!", {}},
        {core::ImageRepositoryButton, ControlKind::Button, {180, 395, 65, 20}, "Local Repo", "Set SFKImage Files Local Repository Path", {}},
        {core::ConfigurationOk, ControlKind::Button, {46, 433, 183, 20}, "OK", "", {}},
    };
}
// clang-format on

const std::vector<std::string> kFileSystems = {"FAT32", "FAT32-LBA", "NTFS", "exFAT", "UDF"};
const std::vector<std::string> kAlignments = {"63", "2048", "4096", "8192"};
constexpr int kFat32LbaItem = 2;

ui::Toolkit& Ui() { return ui::UI(); }

bool Checked(int id) { return Ui().GetState(id) != 0; }

void Enable(std::initializer_list<int> ids, bool enable) {
    for (int id : ids) Ui().EnableControl(id, enable);
}

// The caption comes first, then the values; item 1 is the first value.
void FillList(int id, const std::string& caption, const std::vector<std::string>& values,
              const std::string& current, int fallbackItem) {
    Ui().AddItem(id, caption);
    for (const std::string& value : values) Ui().AddItem(id, value);
    auto found = std::find(values.begin(), values.end(), current);
    Ui().SelectItem(id, found == values.end() ? fallbackItem : int(found - values.begin()) + 1);
}

void EnableFormatFields(bool enable) {
    Enable({core::VolumeLabelField, core::FileSystemList, core::ClusterList, core::AlignmentList,
            core::TwoPartitionsBox},
           enable);
    Ui().EnableControl(core::BootPartitionSizeField, enable && Checked(core::TwoPartitionsBox));
}

// The lists the scans and the revision check replace on other threads, copied under their
// locks: no lock is ever held across a call into the interface thread, which may be
// waiting for that very lock.
std::vector<core::LocalArchive> ArchivesNow() {
    std::lock_guard lock(download::LocalArchivesLock);
    return core::LocalArchives;
}

std::vector<int32_t> RevisionsNow() {
    std::lock_guard lock(core::RevisionsLock);
    return core::DownloadRevisions;
}

void ChooseDownloadRevision() {
    std::string chosen = Ui().GetText(core::DownloadRevisionChoice);
    std::lock_guard lock(core::RevisionsLock);
    core::DownloadRevision = chosen;
}

void ShowDataSetSource() {
    switch (core::InstallDataSetChoice()) {
        case DataSetSource::Local:
            Ui().SetState(core::LocalOption, 1);
            Enable({core::LocalArchiveChoice, core::LocalRevisionText}, true);
            break;
        case DataSetSource::Download:
            Ui().SetState(core::DownloadOption, 1);
            break;
        case DataSetSource::NotInstall:
            Ui().SetState(core::NotInstallOption, 1);
            break;
    }
    if (std::vector<int32_t> revisions = RevisionsNow(); !revisions.empty()) {
        for (int32_t revision : revisions)
            Ui().AddItem(core::DownloadRevisionChoice, std::to_string(revision));
        Ui().SelectItem(core::DownloadRevisionChoice, 0);
        Ui().EnableControl(core::DownloadRevisionChoice, Checked(core::DownloadOption));
    }
}

// A check that finds revisions while the window is open shows them at once; it runs on
// the check's worker, and the toolkit carries each call to the interface thread.
void ShowRevisionCheck(bool found) {
    if (!found) return;
    std::vector<int32_t> revisions;
    std::string latest;
    {
        std::lock_guard lock(core::RevisionsLock);
        revisions = core::DownloadRevisions;
        latest = core::CloverLastRev;
    }
    Ui().SetText(core::CheckNowButton, "r" + latest);
    Ui().SetText(core::CheckedText, CheckedCaption());
    Ui().ClearItems(core::DownloadRevisionChoice);
    for (int32_t revision : revisions)
        Ui().AddItem(core::DownloadRevisionChoice, std::to_string(revision));
    Ui().SelectItem(core::DownloadRevisionChoice, 0);
    Ui().EnableControl(core::DownloadRevisionChoice, Checked(core::DownloadOption));
}

int BootRecordsOption(BootRecordsKind kind) {
    switch (kind) {
        case BootRecordsKind::Windows:
            return core::WindowsOption;
        case BootRecordsKind::Xpc:
            return core::XpcOption;
        case BootRecordsKind::NotFormat:
            return core::NotFormatOption;
        case BootRecordsKind::Clover:
            break;
    }
    return core::CloverOption;
}

void ShowFormatOptions() {
    Ui().SetState(BootRecordsOption(core::BootRecordsChoice()), 1);
    FillList(core::FileSystemList, "File System:", kFileSystems, core::FileSystem, kFat32LbaItem);
    FillList(core::ClusterList, "Cluster Size:", {"Default"}, "Default", 1);
    FillList(core::AlignmentList, "Align to sectors:", kAlignments, core::StartLBASector, 1);
    Ui().SetState(core::TwoPartitionsBox, core::MultiPartitions == 1);
    EnableFormatFields(core::BootRecordsChoice() != BootRecordsKind::NotFormat);
}

void PickSource(DataSetSource source) {
    core::SetInstallDataSetChoice(source);
    bool local = source == DataSetSource::Local, download = source == DataSetSource::Download;
    if (local) Enable({core::LocalArchiveChoice, core::LocalRevisionText}, !ArchivesNow().empty());
    if (download) {
        Ui().EnableControl(core::DownloadRevisionChoice, !RevisionsNow().empty());
        Enable({core::LocalArchiveChoice, core::LocalRevisionText}, false);
    } else {
        Ui().EnableControl(core::DownloadRevisionChoice, false);
    }
    if (!local && !download) Ui().EnableControl(core::LocalArchiveChoice, false);
}

void PickBootRecords(BootRecordsKind kind) {
    core::SetBootRecordsChoice(kind);
    EnableFormatFields(kind != BootRecordsKind::NotFormat);
}

void PickFileSystem() {
    if (Ui().SelectedItem(core::FileSystemList) == 0) {
        Ui().SelectItem(core::FileSystemList, kFat32LbaItem);
        core::SetFileSystemChoice(core::FileSystemKind::Fat32Lba);
        return;
    }
    std::string chosen = Ui().GetText(core::FileSystemList);
    if (std::find(kFileSystems.begin(), kFileSystems.end(), chosen) != kFileSystems.end())
        core::FileSystem = chosen;
}

void PickAlignment() {
    if (Ui().SelectedItem(core::AlignmentList) == 0) Ui().SelectItem(core::AlignmentList, 1);
    core::StartLBASector = Ui().GetText(core::AlignmentList);
}

// A folder chooser's answer counts only when it names an existing folder.
bool ChooseFolder(const char* title, std::string& setting) {
    std::string answer = Ui().FolderRequester(title, setting);
    if (answer.empty() || !platform::FolderExists(answer)) return false;
    setting = platform::JoinPath(answer, "");
    return true;
}

void ChooseCloverRepository() {
    if (ChooseFolder("Select Clover Local Repository Path:", core::CloverLocalRepository))
        StartWorker([](int32_t) { RefreshLocalArchives(); }, 0);
}

void ToggleFixedDisks() {
    core::EnableFixedDisks = Checked(core::EnableFixedDisksBox) ? 1 : 0;
    disk::RefreshDriveList();
}

void ToggleTwoPartitions() {
    core::MultiPartitions = Checked(core::TwoPartitionsBox) ? 1 : 0;
    Ui().EnableControl(core::BootPartitionSizeField, core::MultiPartitions == 1);
}

struct Handler {
    int id;
    void (*action)();
};

const Handler kHandlers[] = {
    {core::LocalOption, [] { PickSource(DataSetSource::Local); }},
    {core::DownloadOption, [] { PickSource(DataSetSource::Download); }},
    {core::NotInstallOption, [] { PickSource(DataSetSource::NotInstall); }},
    {core::LocalArchiveChoice, ShowLocalArchive},
    {core::DownloadRevisionChoice, ChooseDownloadRevision},
    {core::CheckAtStartupBox,
     [] { core::CheckLatestCloverAtStartup = Checked(core::CheckAtStartupBox) ? 1 : 0; }},
    {core::SaveAfterDownloadBox,
     [] { core::SaveLatestCloverAfterDL = Checked(core::SaveAfterDownloadBox) ? 1 : 0; }},
    {core::CloverRepositoryButton, ChooseCloverRepository},
    {core::CheckNowButton, [] { StartLatestRevisionCheck(1); }},
    {core::CloverOption, [] { PickBootRecords(BootRecordsKind::Clover); }},
    {core::WindowsOption, [] { PickBootRecords(BootRecordsKind::Windows); }},
    {core::XpcOption, [] { PickBootRecords(BootRecordsKind::Xpc); }},
    {core::NotFormatOption, [] { PickBootRecords(BootRecordsKind::NotFormat); }},
    {core::VolumeLabelField, [] { core::VolumeLabel = Ui().GetText(core::VolumeLabelField); }},
    {core::FileSystemList, PickFileSystem},
    {core::ClusterList,
     [] {
         if (Ui().SelectedItem(core::ClusterList) == 0) Ui().SelectItem(core::ClusterList, 1);
     }},
    {core::AlignmentList, PickAlignment},
    {core::TwoPartitionsBox, ToggleTwoPartitions},
    {core::BootPartitionSizeField,
     [] {
         core::BootPartitionSize =
             BootPartitionSizeFromText(Ui().GetText(core::BootPartitionSizeField));
     }},
    {core::EnableFixedDisksBox, ToggleFixedDisks},
    {core::ImageRepositoryButton,
     [] { ChooseFolder("Select SFKImage files Local Repository Path:", core::SFKImageLocalRepo); }},
    {core::ConfigurationOk, CloseConfigurationWindow},
};

}  // namespace

int32_t BootPartitionSizeFromText(const std::string& text) {
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        value = std::min<int64_t>(value * 10 + (c - '0'), INT32_MAX);
    }
    return value < 32 || value > 2000000 ? kFallbackBootPartitionSize : int32_t(value);
}

void OpenConfigurationWindow() {
    ui::WindowSpec spec{core::ConfigurationWindow, "Configuration", {275, 465}, {},
                        ui::WindowStyle::Dialog,   core::MainWindow};
    if (!Ui().OpenWindow(spec)) return;
    Ui().EnableWindow(core::MainWindow, false);
    ui::CreateControls(core::ConfigurationWindow, ConfigurationRows());
    ShowDataSetSource();
    Ui().SetState(core::CheckAtStartupBox, core::CheckLatestCloverAtStartup == 1);
    Ui().SetState(core::SaveAfterDownloadBox, core::SaveLatestCloverAfterDL == 1);
    ShowFormatOptions();
    Ui().SetState(core::EnableFixedDisksBox, core::EnableFixedDisks == 1);
    RefreshLocalArchives();
    download::SetRevisionCheckView(ShowRevisionCheck);
}

void HandleConfigurationEvent(const ui::Event& event) {
    if (event.kind != ui::EventKind::Control) return;
    for (const Handler& handler : kHandlers)
        if (handler.id == event.id) return handler.action();
}

void CloseConfigurationWindow() {
    download::SetRevisionCheckView(nullptr);
    Ui().EnableWindow(core::MainWindow, true);
    Ui().ActivateWindow(core::MainWindow);
    Ui().CloseWindow(core::ConfigurationWindow);
    core::SaveSettings();
}

void RefreshLocalArchives() {
    if (!Ui().WindowExists(core::ConfigurationWindow)) return;
    Ui().SetText(core::LocalRevisionText, "Wait ...");
    Ui().ClearItems(core::LocalArchiveChoice);
    download::ScanLocalRepository();
    std::vector<core::LocalArchive> archives = ArchivesNow();
    if (archives.empty()) {
        Ui().SetText(core::LocalRevisionText, "Not Found");
        Enable({core::LocalArchiveChoice, core::LocalRevisionText}, false);
    } else {
        for (const core::LocalArchive& archive : archives)
            Ui().AddItem(core::LocalArchiveChoice, archive.Name);
        Ui().SelectItem(core::LocalArchiveChoice, 0);
        Enable({core::LocalArchiveChoice, core::LocalRevisionText}, Checked(core::LocalOption));
    }
    ShowLocalArchive();
}

void ShowLocalArchive() {
    if (!Ui().WindowExists(core::ConfigurationWindow)) return;
    std::string chosen = Ui().GetText(core::LocalArchiveChoice);
    std::vector<core::LocalArchive> archives = ArchivesNow();
    auto found =
        std::find_if(archives.begin(), archives.end(),
                     [&](const core::LocalArchive& archive) { return archive.Name == chosen; });
    if (found == archives.end()) return;
    {
        std::lock_guard lock(download::LocalArchivesLock);
        core::LocalArchivePath = core::CloverLocalRepository + found->Name;
        core::LocalArchiveRevision = std::to_string(found->Revision);
    }
    Ui().SetText(core::LocalRevisionText, "Rev: " + std::to_string(found->Revision));
}

}  // namespace app
