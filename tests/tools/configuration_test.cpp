// The Configuration window through the main loop's dispatch, on the console toolkit.
#include "app/configuration.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

#include "app/dispatch.h"
#include "app/main_window.h"
#include "app/workers.h"
#include "core/ids.h"
#include "core/settings.h"
#include "core/state.h"
#include "disk/disk_system.h"
#include "disk/drive_list.h"
#include "download/http_download.h"
#include "download/latest_revision.h"
#include "download/local_repository.h"
#include "tests/expected_controls.h"
#include "tests/fake_disks.h"
#include "tests/test_support.h"
#include "tests/zip_fixture.h"

namespace {

using namespace app;
using namespace core;
using namespace disk;
using namespace download;
using ui::ControlKind;
using ui::EventKind;

using Row = test::ExpectedControl;

// The dialog as it is meant to look, written out independently of the program's table.
const Row kExpected[] = {
    {SourceFrame, ControlKind::GroupFrame, {5, 5, 265, 170}, "Clover Bootloader Source", ""},
    {LocalOption, ControlKind::OptionButton, {15, 25, 40, 21}, "Local", "Local Repository"},
    {DownloadOption,
     ControlKind::OptionButton,
     {15, 55, 35, 20},
     "DL",
     "Download from SourceForge"},
    {NotInstallOption,
     ControlKind::OptionButton,
     {15, 146, 80, 20},
     "Not Install",
     "Format Disk Only"},
    {LocalArchiveChoice, ControlKind::ComboBox, {60, 25, 125, 20}, "", "Select Found Dist"},
    {LocalRevisionText, ControlKind::Text, {193, 28, 70, 15}, "Not Found", ""},  // scanned
    {DownloadRevisionChoice,
     ControlKind::ComboBox,
     {60, 55, 55, 20},
     "",
     "Select Revision for Download"},
    {CheckedText, ControlKind::Text, {120, 57, 140, 15}, "Checked: Not Checked", ""},
    {CheckFrame, ControlKind::GroupFrame, {15, 75, 245, 65}, "", ""},
    {CheckAtStartupBox,
     ControlKind::CheckBox,
     {30, 85, 110, 20},
     "Check at Startup",
     "Check the Latest Rev. at Startup"},
    {SaveAfterDownloadBox,
     ControlKind::CheckBox,
     {30, 115, 100, 20},
     "Save after DL",
     "Save after Download SFK-ready Clover Distr to Local Repo"},
    {CloverRepositoryButton,
     ControlKind::Button,
     {180, 115, 65, 20},
     "Local Repo",
     "Set Clover SFK-ready Archives Local Repository Path"},
    {CheckNowButton,
     ControlKind::Button,
     {180, 85, 65, 20},
     "Check Now",
     "Check the Latest Rev. on SourceForge"},
    {FormatOptionsFrame, ControlKind::GroupFrame, {5, 175, 265, 205}, "Format options", ""},
    {BootRecordsFrame, ControlKind::GroupFrame, {15, 190, 110, 135}, "Boot records", ""},
    {CloverOption,
     ControlKind::OptionButton,
     {30, 210, 60, 20},
     "Clover",
     "Format drive and Install Clover Boot records"},
    {WindowsOption,
     ControlKind::OptionButton,
     {30, 240, 75, 20},
     "Windows",
     "Format drive and Install Windows Boot records"},
    {XpcOption,
     ControlKind::OptionButton,
     {30, 270, 45, 20},
     "XPC",
     "Format drive and Install XPC Bootloader records"},
    {NotFormatOption,
     ControlKind::OptionButton,
     {30, 300, 80, 20},
     "Not Format",
     "Don't Re-Format Drive"},
    {VolumeLabelCaption, ControlKind::Text, {145, 190, 75, 15}, "Volume label", ""},
    {VolumeLabelField, ControlKind::EditBox, {145, 210, 100, 20}, "CLOVER", ""},
    {FileSystemList,
     ControlKind::ComboBox,
     {145, 240, 100, 20},
     "",
     "FAT32 for old BIOS/OS ver. | FAT32-LBA for Modern USB Flash/Hard drives"},
    {ClusterList, ControlKind::ComboBox, {145, 270, 100, 20}, "", ""},
    {AlignmentList,
     ControlKind::ComboBox,
     {145, 300, 100, 20},
     "",
     "63 sec old align to cylinder | 2048-8192 sec for Modern USB Flash/Hard drives"},
    {MultiPartitionFrame, ControlKind::GroupFrame, {15, 325, 245, 50}, "Multi Partitioning", ""},
    {TwoPartitionsBox,
     ControlKind::CheckBox,
     {30, 345, 145, 20},
     "Boot Partition Size (MB)",
     "Create 2 Partitions: 1-st Boot(Clover) and 2-nd for deployment of MACOSX distr"},
    {BootPartitionSizeField, ControlKind::EditBox, {180, 345, 65, 20}, "200", "32 - 200000 MB"},
    {OtherFrame, ControlKind::GroupFrame, {5, 380, 265, 45}, "Other", ""},
    {EnableFixedDisksBox,
     ControlKind::CheckBox,
     {30, 395, 120, 20},
     "Enable Fixed Disks",
     "For advanced users only! Use it with caution!"},
    {ImageRepositoryButton,
     ControlKind::Button,
     {180, 395, 65, 20},
     "Local Repo",
     "Set SFKImage Files Local Repository Path"},
    {ConfigurationOk, ControlKind::Button, {46, 433, 183, 20}, "OK", ""},
};

class ConfigurationTest : public test::AppTest {
protected:
    ConfigurationTest() : disks(*test::FakeDiskSystem::Install()) {
        LoadSettingsFromText("");
        VersionText = BuildVersionText(19);
        CloverLastRev = "Not Checked";
        CloverLocalRepository = scratch.path().string() + "/";
        BuildMainWindow();
        SetWorkerLauncher([this](WorkerProc proc, int32_t argument) {
            started.push_back({proc, argument});
        });
    }
    ~ConfigurationTest() override { SetDiskSystem(nullptr); }

    void Open() { DispatchEvent({EventKind::Menu, MainWindow, ConfigurationItem}); }
    void Press(int id) { DispatchEvent({EventKind::Control, ConfigurationWindow, id}); }
    void Tick(int id, bool on) {
        toolkit().SetState(id, on);
        Press(id);
    }
    void Choose(int id, int item) {
        toolkit().SelectItem(id, item);
        Press(id);
    }
    void Type(int id, const std::string& text) {
        toolkit().SetText(id, text);
        Press(id);
    }
    bool Enabled(int id) { return toolkit().ControlEnabled(id); }
    void Archive(const std::string& name, int revision) {
        ASSERT_TRUE(test::WriteZip(
            scratch.file(name),
            {{"usr/standalone/boot", "Clover revision: " + std::to_string(revision) + "\n"}}));
    }
    // The end of a revision check that found the listing page.
    void FinishCheck(const std::string& page) {
        DownloadRequest request;
        ASSERT_TRUE(request.Buffer.Resize(int64_t(page.size())));
        std::copy(page.begin(), page.end(), request.Buffer.data());
        ParseRevisionListing(request, kDownloadOk, request.Buffer.size(), request.Buffer.size(), 0);
    }
    void RunStartedWorkers() {
        auto pending = std::move(started);
        started.clear();
        for (auto [proc, argument] : pending) proc(argument);
    }

    test::FakeDiskSystem& disks;
    std::vector<std::pair<WorkerProc, int32_t>> started;
};

TEST_F(ConfigurationTest, EveryControlOfTheTableInCreationOrder) {
    Open();
    auto controls = toolkit().Controls();
    int previous = 0;
    for (const Row& row : kExpected) {
        SCOPED_TRACE(row.id);
        ASSERT_TRUE(controls.count(row.id));
        EXPECT_GT(row.id, previous);  // numbered in the order they are made
        previous = row.id;
        test::ExpectControl(controls.at(row.id), ConfigurationWindow, row);
    }
    EXPECT_EQ(controls.at(VolumeLabelField).style.maxLength, 11);
    EXPECT_TRUE(controls.at(BootPartitionSizeField).style.digitsOnly);
    EXPECT_TRUE(controls.at(BootPartitionSizeField).style.centred);
    EXPECT_TRUE(controls.at(LocalOption).style.optionGroupStart);
    EXPECT_TRUE(controls.at(CloverOption).style.optionGroupStart);
    EXPECT_FALSE(controls.at(DownloadOption).style.optionGroupStart);
}

TEST_F(ConfigurationTest, OpensCentredOverTheDisabledMainWindowOnlyWhileIdle) {
    BusyFlag = 1;
    Open();
    EXPECT_FALSE(toolkit().WindowExists(ConfigurationWindow));
    BusyFlag = 0;
    toolkit().MoveWindow(MainWindow, 100, 50);
    Open();
    auto windows = toolkit().Windows();
    ASSERT_TRUE(windows.count(ConfigurationWindow));
    EXPECT_EQ(windows[ConfigurationWindow].spec.title, "Configuration");
    EXPECT_EQ(windows[ConfigurationWindow].spec.client, (ui::Size{275, 465}));
    ui::Rect main = windows[MainWindow].frame, dialog = windows[ConfigurationWindow].frame;
    EXPECT_EQ(dialog.x + dialog.w / 2, main.x + main.w / 2);
    EXPECT_EQ(dialog.y + dialog.h / 2, main.y + main.h / 2);
    EXPECT_FALSE(windows[MainWindow].enabled);
}

TEST_F(ConfigurationTest, OpeningShowsTheSettings) {
    InstallDataSet = "DL";
    DownloadRevisions = {5120, 5119};
    DownloadRevision = "0";
    CheckLatestCloverAtStartup = 1;
    Boot_records = "XPC";
    FileSystem = "exFAT";
    StartLBASector = "4096";
    MultiPartitions = 0;
    EnableFixedDisks = 1;
    Open();
    EXPECT_TRUE(toolkit().GetState(DownloadOption));
    EXPECT_FALSE(Enabled(LocalArchiveChoice));
    EXPECT_FALSE(Enabled(LocalRevisionText));
    ASSERT_EQ(toolkit().ItemCount(DownloadRevisionChoice), 2);
    EXPECT_EQ(toolkit().GetText(DownloadRevisionChoice), "5120");
    EXPECT_TRUE(Enabled(DownloadRevisionChoice));
    EXPECT_EQ(DownloadRevision, "0");  // showing the first revision chooses nothing
    EXPECT_TRUE(toolkit().GetState(CheckAtStartupBox));
    EXPECT_FALSE(toolkit().GetState(SaveAfterDownloadBox));
    EXPECT_TRUE(toolkit().GetState(XpcOption));
    EXPECT_EQ(toolkit().ItemText(FileSystemList, 0), "File System:");
    EXPECT_EQ(toolkit().GetText(FileSystemList), "exFAT");
    EXPECT_EQ(toolkit().GetText(ClusterList), "Default");
    EXPECT_EQ(toolkit().GetText(AlignmentList), "4096");
    EXPECT_FALSE(toolkit().GetState(TwoPartitionsBox));
    EXPECT_FALSE(Enabled(BootPartitionSizeField));
    EXPECT_TRUE(toolkit().GetState(EnableFixedDisksBox));
    EXPECT_EQ(toolkit().GetText(LocalRevisionText), "Not Found");
}

TEST_F(ConfigurationTest, UnknownListValuesShowTheirFallbacks) {
    FileSystem = "HFS";
    StartLBASector = "1";
    CloverLastRev = "5120";
    CloverLastRevCheckDate = "01.02.24 10:11:12";
    Open();
    EXPECT_EQ(toolkit().GetText(FileSystemList), "FAT32-LBA");
    EXPECT_EQ(toolkit().GetText(AlignmentList), "63");
    EXPECT_EQ(toolkit().GetText(CheckedText), "Checked: 01.02.24 10:11:12");
}

TEST_F(ConfigurationTest, NotFormatAtOpeningDisablesTheFormatFields) {
    Boot_records = "Not_Format";
    MultiPartitions = 1;
    InstallDataSet = "Not_Install";
    DownloadRevisions = {5120};
    Open();
    for (int id :
         {VolumeLabelField, FileSystemList, ClusterList, AlignmentList, TwoPartitionsBox,
          BootPartitionSizeField, LocalArchiveChoice, LocalRevisionText, DownloadRevisionChoice})
        EXPECT_FALSE(Enabled(id)) << id;
    EXPECT_TRUE(toolkit().GetState(TwoPartitionsBox));
}

TEST_F(ConfigurationTest, SourceOptionsFollowWhatThereIsToChoose) {
    Archive("CloverISO-3500.zip", 3500);
    InstallDataSet = "DL";
    Open();
    EXPECT_FALSE(Enabled(DownloadRevisionChoice));  // no revision known yet
    Tick(LocalOption, true);
    EXPECT_EQ(InstallDataSet, "Local");
    EXPECT_TRUE(Enabled(LocalArchiveChoice));
    EXPECT_TRUE(Enabled(LocalRevisionText));
    EXPECT_FALSE(Enabled(DownloadRevisionChoice));

    Tick(NotInstallOption, true);
    EXPECT_EQ(InstallDataSet, "Not_Install");
    EXPECT_FALSE(Enabled(LocalArchiveChoice));
    EXPECT_FALSE(Enabled(DownloadRevisionChoice));

    Tick(DownloadOption, true);
    EXPECT_EQ(InstallDataSet, "DL");
    EXPECT_FALSE(Enabled(LocalArchiveChoice));
    EXPECT_FALSE(Enabled(LocalRevisionText));
}

TEST_F(ConfigurationTest, TheLocalChoiceListsTheHighestRevisionFirst) {
    Archive("CloverISO-3577.zip", 3577);
    Archive("CloverISO-3500.zip", 3500);
    test::WriteFile(scratch.file("fake.zip"), "not a zip");
    ASSERT_TRUE(test::WriteZip(scratch.file("noboot.zip"), {{"EFI/BOOT/BOOTX64.efi", "x"}}));
    InstallDataSet = "Local";
    Open();
    ASSERT_EQ(toolkit().ItemCount(LocalArchiveChoice), 2);
    EXPECT_EQ(toolkit().ItemText(LocalArchiveChoice, 0), "CloverISO-3577.zip");
    EXPECT_EQ(toolkit().GetText(LocalRevisionText), "Rev: 3577");
    EXPECT_EQ(LocalArchivePath, CloverLocalRepository + "CloverISO-3577.zip");
    EXPECT_TRUE(Enabled(LocalArchiveChoice));

    Choose(LocalArchiveChoice, 1);
    EXPECT_EQ(toolkit().GetText(LocalRevisionText), "Rev: 3500");
    EXPECT_EQ(LocalArchivePath, CloverLocalRepository + "CloverISO-3500.zip");
    EXPECT_EQ(LocalArchiveRevision, "3500");
}

TEST_F(ConfigurationTest, ANewRepositoryFolderIsScannedOnAWorker) {
    Open();
    EXPECT_EQ(toolkit().GetText(LocalRevisionText), "Not Found");
    std::filesystem::create_directories(scratch.path() / "repo");
    std::string repo = scratch.file("repo");
    ASSERT_TRUE(test::WriteZip(repo + "/CloverISO-4000.zip",
                               {{"usr/standalone/boot", "Clover revision: 4000\n"}}));

    toolkit().QueueRequesterAnswer(scratch.file("missing"));
    Press(CloverRepositoryButton);
    EXPECT_EQ(CloverLocalRepository, scratch.path().string() + "/");
    EXPECT_TRUE(started.empty());
    toolkit().QueueRequesterAnswer("");  // cancelled
    Press(CloverRepositoryButton);
    EXPECT_TRUE(started.empty());

    toolkit().QueueRequesterAnswer(repo);
    Press(CloverRepositoryButton);
    EXPECT_EQ(CloverLocalRepository, repo + "/");
    EXPECT_NE(output().find("Select Clover Local Repository Path:"), std::string::npos);
    ASSERT_EQ(started.size(), 1u);
    RunStartedWorkers();
    EXPECT_EQ(toolkit().ItemText(LocalArchiveChoice, 0), "CloverISO-4000.zip");
    EXPECT_EQ(toolkit().GetText(LocalRevisionText), "Rev: 4000");
    EXPECT_FALSE(Enabled(LocalArchiveChoice));  // the source is DL

    toolkit().QueueRequesterAnswer(repo);
    Press(ImageRepositoryButton);
    EXPECT_EQ(SFKImageLocalRepo, repo + "/");
    EXPECT_NE(output().find("Select SFKImage files Local Repository Path:"), std::string::npos);
    EXPECT_TRUE(started.empty());
}

TEST_F(ConfigurationTest, CheckBoxesAndListsSetTheirSettings) {
    Open();
    Tick(CheckAtStartupBox, true);
    EXPECT_EQ(CheckLatestCloverAtStartup, 1);
    Tick(CheckAtStartupBox, false);
    EXPECT_EQ(CheckLatestCloverAtStartup, 0);
    Tick(SaveAfterDownloadBox, true);
    EXPECT_EQ(SaveLatestCloverAfterDL, 1);

    Choose(FileSystemList, 3);
    EXPECT_EQ(FileSystem, "NTFS");
    Choose(FileSystemList, 0);  // the caption
    EXPECT_EQ(toolkit().SelectedItem(FileSystemList), 2);
    EXPECT_EQ(FileSystem, "FAT32-LBA");

    Choose(AlignmentList, 4);
    EXPECT_EQ(StartLBASector, "8192");
    Choose(AlignmentList, 0);
    EXPECT_EQ(toolkit().GetText(AlignmentList), "63");
    EXPECT_EQ(StartLBASector, "63");

    ClusterSize = "0";
    Choose(ClusterList, 0);
    EXPECT_EQ(toolkit().SelectedItem(ClusterList), 1);
    EXPECT_EQ(ClusterSize, "0");

    Type(VolumeLabelField, "USBBOOT");
    EXPECT_EQ(VolumeLabel, "USBBOOT");
}

TEST_F(ConfigurationTest, DownloadRevisionAndCheckNow) {
    DownloadRevisions = {5120, 5119};
    InstallDataSet = "DL";
    Open();
    Choose(DownloadRevisionChoice, 1);
    EXPECT_EQ(DownloadRevision, "5119");
    Press(CheckNowButton);
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].second, 1);
}

TEST_F(ConfigurationTest, AFinishedCheckShowsItsRevisionsWhileOpen) {
    InstallDataSet = "DL";
    Open();
    FinishCheck("CloverISO-5151.tar.lzma CloverISO-05150.tar.lzma");
    EXPECT_EQ(toolkit().GetText(CheckNowButton), "r5151");
    EXPECT_EQ(toolkit().GetText(CheckedText), "Checked: " + CloverLastRevCheckDate);
    ASSERT_EQ(toolkit().ItemCount(DownloadRevisionChoice), 2);
    EXPECT_EQ(toolkit().ItemText(DownloadRevisionChoice, 0), "5151");
    EXPECT_EQ(toolkit().ItemText(DownloadRevisionChoice, 1), "5150");
    EXPECT_EQ(toolkit().SelectedItem(DownloadRevisionChoice), 0);
    EXPECT_TRUE(toolkit().ControlEnabled(DownloadRevisionChoice));
}

TEST_F(ConfigurationTest, BootPartitionSizeOutOfRangeIsStoredAs64) {
    Open();
    const std::pair<const char*, int32_t> cases[] = {
        {"1", 64}, {"100", 100},        {"2000001", 64}, {"32", 32}, {"2000000", 2000000},
        {"", 64},  {"99999999999", 64},
    };
    for (auto [typed, stored] : cases) {
        Type(BootPartitionSizeField, typed);
        EXPECT_EQ(BootPartitionSize, stored) << typed;
        EXPECT_EQ(toolkit().GetText(BootPartitionSizeField), typed);
    }
}

TEST_F(ConfigurationTest, NotFormatDisablesTheFormatFieldsAndCloverBringsThemBack) {
    MultiPartitions = 1;
    Open();
    Tick(NotFormatOption, true);
    EXPECT_EQ(Boot_records, "Not_Format");
    for (int id : {VolumeLabelField, FileSystemList, ClusterList, AlignmentList, TwoPartitionsBox,
                   BootPartitionSizeField})
        EXPECT_FALSE(Enabled(id)) << id;
    Tick(CloverOption, true);
    EXPECT_EQ(Boot_records, "Clover");
    for (int id : {VolumeLabelField, FileSystemList, ClusterList, AlignmentList, TwoPartitionsBox,
                   BootPartitionSizeField})
        EXPECT_TRUE(Enabled(id)) << id;

    Tick(TwoPartitionsBox, false);
    EXPECT_EQ(MultiPartitions, 0);
    EXPECT_FALSE(Enabled(BootPartitionSizeField));
    Tick(NotFormatOption, true);
    Tick(WindowsOption, true);
    EXPECT_EQ(Boot_records, "Windows");
    EXPECT_TRUE(Enabled(TwoPartitionsBox));
    EXPECT_FALSE(Enabled(BootPartitionSizeField));  // the box is not ticked
    Tick(XpcOption, true);
    EXPECT_EQ(Boot_records, "XPC");
    Tick(TwoPartitionsBox, true);
    EXPECT_EQ(MultiPartitions, 1);
    EXPECT_TRUE(Enabled(BootPartitionSizeField));
}

TEST_F(ConfigurationTest, EnableFixedDisksRefreshesTheDriveListAtOnce) {
    disks.disks[0] = test::DiskFacts(11, 500107862016, {{2048, 1000000, 0x07}});
    SystemDriveLetter = "C";
    RefreshDriveList();
    int before = toolkit().ItemCount(DriveTree);
    Open();
    Tick(EnableFixedDisksBox, true);
    EXPECT_EQ(EnableFixedDisks, 1);
    EXPECT_GT(toolkit().ItemCount(DriveTree), before);
    Tick(EnableFixedDisksBox, false);
    EXPECT_EQ(EnableFixedDisks, 0);
    EXPECT_EQ(toolkit().ItemCount(DriveTree), before);
}

TEST_F(ConfigurationTest, OkAndTheCloseBoxBothSaveTheSettings) {
    Open();
    Type(VolumeLabelField, "FIRST");
    Press(ConfigurationOk);
    EXPECT_FALSE(toolkit().WindowExists(ConfigurationWindow));
    EXPECT_TRUE(toolkit().Windows().at(MainWindow).enabled);
    EXPECT_NE(test::ReadFile(SettingsFilePath()).find("VolumeLabel = FIRST\r\n"),
              std::string::npos);

    Open();
    Type(VolumeLabelField, "SECOND");
    DispatchEvent({EventKind::CloseBox, ConfigurationWindow, 0});
    EXPECT_FALSE(toolkit().WindowExists(ConfigurationWindow));
    EXPECT_TRUE(toolkit().Windows().at(MainWindow).enabled);
    EXPECT_NE(test::ReadFile(SettingsFilePath()).find("VolumeLabel = SECOND\r\n"),
              std::string::npos);
}

TEST_F(ConfigurationTest, ScansFindNoWindowAfterItClosed) {
    Archive("CloverISO-3500.zip", 3500);
    RefreshLocalArchives();  // no window: no scan
    EXPECT_TRUE(LocalArchives.empty());
}

// Calls from other threads wait for the interface thread, as Win32 makes a sent message
// wait: each is carried out there when it serves them. A caller that holds a lock the
// interface thread may take (any click can) would hang the window for good; each such call
// is noted.
class SendingToolkit : public ui::ConsoleToolkit {
public:
    SendingToolkit() : ConsoleToolkit({false, std::tmpfile(), nullptr}) {}

    // Serves the waiting calls until done is set.
    void ServeUntil(const std::atomic<bool>& done) {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [&] { return !jobs_.empty() || done; });
            if (jobs_.empty()) return;
            auto job = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            NoteHeldLocks();
            job();
            lock.lock();
        }
    }
    void Wake() {
        std::lock_guard lock(mutex_);
        changed_.notify_all();
    }
    std::vector<std::string> heldAcrossCalls;

    bool WindowExists(int window) const override {
        return Send([&] { return ConsoleToolkit::WindowExists(window); });
    }
    void SetText(int id, const std::string& text) override {
        Send([&] { ConsoleToolkit::SetText(id, text); });
    }
    std::string GetText(int id) const override {
        return Send([&] { return ConsoleToolkit::GetText(id); });
    }
    int GetState(int id) const override {
        return Send([&] { return ConsoleToolkit::GetState(id); });
    }
    void EnableControl(int id, bool enable) override {
        Send([&] { ConsoleToolkit::EnableControl(id, enable); });
    }
    void ClearItems(int id) override {
        Send([&] { ConsoleToolkit::ClearItems(id); });
    }
    void AddItem(int id, const std::string& text, int level) override {
        Send([&] { ConsoleToolkit::AddItem(id, text, level); });
    }
    void SelectItem(int id, int index) override {
        Send([&] { ConsoleToolkit::SelectItem(id, index); });
    }
    void SetMenuTitle(int menu, const std::string& title) override {
        Send([&] { ConsoleToolkit::SetMenuTitle(menu, title); });
    }
    void PaintStatus(int id, const ui::StatusPaint& paint) override {
        Send([&] { ConsoleToolkit::PaintStatus(id, paint); });
    }

private:
    template <class Work>
    auto Send(Work work) const -> decltype(work()) {
        if (std::this_thread::get_id() == interface_) return work();
        std::packaged_task<decltype(work())()> task(work);
        auto result = task.get_future();
        {
            std::lock_guard lock(mutex_);
            jobs_.push_back([&task] { task(); });
        }
        changed_.notify_all();
        return result.get();
    }

    // What the interface thread would block on if a click came now.
    void NoteHeldLocks() {
        const std::pair<std::mutex*, const char*> locks[] = {
            {&download::LocalArchivesLock, "LocalArchivesLock"},
            {&core::RevisionsLock, "RevisionsLock"},
        };
        for (auto [lock, name] : locks) {
            if (lock->try_lock())
                lock->unlock();
            else
                heldAcrossCalls.push_back(name);
        }
    }

    std::thread::id interface_ = std::this_thread::get_id();
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    mutable std::deque<std::function<void()>> jobs_;
};

class ConfigurationBesideWorkers : public ConfigurationTest {
protected:
    ConfigurationBesideWorkers() {
        auto owned = std::make_unique<SendingToolkit>();
        sending = owned.get();
        ui::SetToolkit(std::move(owned));
        BuildMainWindow();
    }
    SendingToolkit* sending = nullptr;
};

// A finished revision check and a repository scan fill the open dialog from their workers
// while the user clicks in it.
TEST_F(ConfigurationBesideWorkers, NoWorkerHoldsALockWhileItWaitsForTheInterfaceThread) {
    Archive("CloverISO-3577.zip", 3577);
    InstallDataSet = "DL";
    Open();
    std::atomic<bool> done = false;
    std::thread worker([&] {
        FinishCheck("CloverISO-5151.tar.lzma CloverISO-5150.tar.lzma");
        RefreshLocalArchives();
        done = true;
        sending->Wake();
    });
    // Beside the check, which replaces the revisions (a race the thread checks find).
    sending->SetState(DownloadOption, 1);
    Press(DownloadOption);
    sending->SelectItem(DownloadRevisionChoice, 0);
    Press(DownloadRevisionChoice);
    sending->ServeUntil(done);
    worker.join();
    EXPECT_EQ(sending->heldAcrossCalls, std::vector<std::string>{});
    EXPECT_EQ(sending->GetText(LocalRevisionText), "Rev: 3577");
    EXPECT_EQ(sending->ItemText(DownloadRevisionChoice, 0), "5151");
}

}  // namespace
