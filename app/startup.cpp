#include "app/startup.h"

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "app/configuration.h"
#include "app/local_repository.h"
#include "app/dispatch.h"
#include "app/icons.h"
#include "app/ids.h"
#include "app/main_window.h"
#include "app/progress.h"
#include "app/settings.h"
#include "app/state.h"
#include "app/workers.h"
#include "disk/drive_list.h"
#include "platform/instance_lock.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "ui/toolkit.h"

namespace app {
namespace {

constexpr int kBuildNumber = 19;
constexpr uint32_t kAutoRunOff = 255;

std::unique_ptr<platform::InstanceLock> instanceLock;

// Held by the settings load until the file says otherwise.
void SetPreLoadValues() {
    CheckLatestCloverAtStartup = 0;
    SaveLatestCloverAfterDL = 0;
    EnableFixedDisks = 0;
    ResumeMaxAttemptsNumber = 9999;
    CloverLastRev = "0";
    SFKImageLocalRepo.clear();
}

bool RefuseSecondInstance() {
    bool alreadyRunning = false;
    instanceLock = platform::AcquireInstanceLock(ProgramFileName, alreadyRunning);
    if (!alreadyRunning) return false;
    instanceLock.reset();
    ui::UI().MessageBox(ProgramFileName, "Программа уже запущена.", ui::Icon::Warning,
                        ui::Buttons::Ok);
    return true;
}

void DeleteTempFolder() {
    if (TempFolder.empty()) return;
    std::error_code error;
    namespace fs = std::filesystem;
    // Read-only files would stop the removal on Windows.
    for (auto it = fs::recursive_directory_iterator(TempFolder, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error))
        fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, error);
    fs::remove_all(TempFolder, error);
}

}  // namespace

void DisableAutoRun() {
    auto current = platform::ReadRegistryDword(AutoRunKeyPath, AutoRunValueName);
    if (current) SavedAutoRunValue = std::to_string(*current);
    platform::WriteRegistryDword(AutoRunKeyPath, AutoRunValueName, kAutoRunOff);
}

void RestoreAutoRun() {
    auto current = platform::ReadRegistryDword(AutoRunKeyPath, AutoRunValueName);
    std::string currentText = current ? std::to_string(*current) : std::string();
    if (currentText == SavedAutoRunValue) return;
    uint32_t saved = SavedAutoRunValue.empty() ? 0 : uint32_t(std::stoul(SavedAutoRunValue));
    platform::WriteRegistryDword(AutoRunKeyPath, AutoRunValueName, saved);
}

void InitialiseVersion() {
    VersionText = BuildVersionText(kBuildNumber);
    AboutHeader = BuildAboutHeader();
}

bool StartUp(const std::string& executablePath) {
    InitialiseVersion();
    InitialiseGlobals();
    SetPreLoadValues();
    // Only a drive-letter path names a system drive letter; elsewhere the system disks
    // are known by their mounts.
    std::string systemDirectory = platform::SystemDirectory();
    SystemDriveLetter =
        systemDirectory.size() > 1 && systemDirectory[1] == ':' ? systemDirectory.substr(0, 1) : "";
    SetProgramLocation(executablePath);
    if (RefuseSecondInstance()) return false;
    LoadSettings();
    DisableAutoRun();
    ui::UI().SetDefaultFont("Tahoma", 8);
    RegisterProgramImages();
    BuildMainWindow();
    KeepWindowOnScreen(MainWindow);
    RefreshDriveList();
    StartWorker([](int32_t) { ScanLocalRepository(); }, 0);
    if (CheckLatestCloverAtStartup == 1) {
        StartLatestRevisionCheck(1);
    } else if (int32_t revision = std::atoi(CloverLastRev.c_str()); revision > 0) {
        DownloadRevisions.push_back(revision);
    }
    return true;
}

void ExitSequence() {
    DeleteTempFolder();
    SaveSettings();
    RestoreAutoRun();
    TaskbarProgress.reset();
    instanceLock.reset();
}

int RunProgram() {
    if (!StartUp(platform::ExecutablePath())) return 0;
    MainLoop();
    ExitSequence();
    return 0;
}

}  // namespace app
