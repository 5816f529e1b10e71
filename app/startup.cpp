#include "app/startup.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/configuration.h"
#include "app/dispatch.h"
#include "app/error_report.h"
#include "app/icons.h"
#include "app/main_window.h"
#include "app/workers.h"
#include "core/ids.h"
#include "core/progress.h"
#include "core/settings.h"
#include "core/state.h"
#include "disk/drive_list.h"
#include "download/local_repository.h"
#include "platform/instance_lock.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "resources/temp_folder.h"
#include "ui/toolkit.h"

namespace app {
namespace {

constexpr int kBuildNumber = 19;
constexpr uint32_t kAutoRunOff = 255;

std::unique_ptr<platform::InstanceLock> instanceLock;
// Set once DisableAutoRun has run: only then is there something to put back.
std::atomic<bool> autoRunChanged{false};

// Held by the settings load until the file says otherwise.
void SetPreLoadValues() {
    core::CheckLatestCloverAtStartup = 0;
    core::SaveLatestCloverAfterDL = 0;
    core::EnableFixedDisks = 0;
    core::ResumeMaxAttemptsNumber = 9999;
    core::CloverLastRev = "0";
    core::SFKImageLocalRepo.clear();
}

// Named after the executable, so that copies under other names do not see each other.
// The command-line tool shares the window's: its own name without "-cli" is the program's.
bool RefuseSecondInstance(FrontEnd frontEnd) {
    bool alreadyRunning = false;
    instanceLock = platform::AcquireInstanceLock(core::ProgramFileName, alreadyRunning);
    if (!alreadyRunning) return false;
    instanceLock.reset();
    if (frontEnd == FrontEnd::CommandLine) {
        std::fprintf(stderr,
                     "stickforge-cli: %s is running already (the window or another "
                     "stickforge-cli); nothing was done\n",
                     core::ProgramFileName.c_str());
        return true;
    }
    ui::UI().MessageBox(core::ProgramFileName, "Программа уже запущена.", ui::Icon::Warning,
                        ui::Buttons::Ok);
    return true;
}

// Only a drive-letter path names a system drive letter; elsewhere the system disks are
// known by their mounts.
void FindSystemDrive() {
    std::string systemDirectory = platform::SystemDirectory();
    core::SystemDriveLetter =
        systemDirectory.size() > 1 && systemDirectory[1] == ':' ? systemDirectory.substr(0, 1) : "";
}

// ProgramPath and the names and folder the settings file and the guard are named after.
void LocateProgram(FrontEnd frontEnd, const std::string& executablePath) {
    core::SetProgramLocation(executablePath);
    if (frontEnd != FrontEnd::CommandLine) return;
    for (std::string* name : {&core::ProgramBaseName, &core::ProgramFileName}) {
        size_t cli = name->find("-cli");
        if (cli != std::string::npos) name->erase(cli, 4);
    }
}

// An installed copy reads and writes them in the starting user's folders, found only now
// that the program's folder and name are known.
void LoadProgramSettings() {
    core::UseInstalledPlaces();
    core::LoadSettings();
}

void DeleteTempFolder() { resources::RemoveTempFolder(); }

}  // namespace

// A value of another type than REG_DWORD is someone else's setting the program cannot
// restore as it found it, so it stays untouched from start to exit.
void DisableAutoRun() {
    autoRunChanged = false;
    auto current = platform::ReadRegistryDword(core::AutoRunKeyPath, core::AutoRunValueName);
    if (!current && platform::RegistryValueExists(core::AutoRunKeyPath, core::AutoRunValueName))
        return;
    if (current) core::SavedAutoRunValue = std::to_string(*current);
    platform::WriteRegistryDword(core::AutoRunKeyPath, core::AutoRunValueName, kAutoRunOff);
    autoRunChanged = true;
}

// A value absent at start is removed again: writing 0 would switch AutoRun on for every
// drive type.
void RestoreAutoRun() {
    if (!autoRunChanged.exchange(false)) return;
    auto current = platform::ReadRegistryDword(core::AutoRunKeyPath, core::AutoRunValueName);
    if (!current && platform::RegistryValueExists(core::AutoRunKeyPath, core::AutoRunValueName))
        return;
    std::string currentText = current ? std::to_string(*current) : std::string();
    if (currentText == core::SavedAutoRunValue) return;
    if (core::SavedAutoRunValue.empty()) {
        platform::DeleteRegistryValue(core::AutoRunKeyPath, core::AutoRunValueName);
        return;
    }
    platform::WriteRegistryDword(core::AutoRunKeyPath, core::AutoRunValueName,
                                 uint32_t(std::stoul(core::SavedAutoRunValue)));
}

void InitialiseVersion() {
    core::VersionText = core::BuildVersionText(kBuildNumber);
    core::AboutHeader = BuildAboutHeader();
}

bool StartFrontEnd(FrontEnd frontEnd, const std::string& executablePath, StartNeeds needs) {
    InstallErrorReport();
    InitialiseVersion();
    core::InitialiseGlobals();
    SetPreLoadValues();
    FindSystemDrive();
    LocateProgram(frontEnd, executablePath);
    if (needs.guard && RefuseSecondInstance(frontEnd)) return false;
    if (needs.settings) LoadProgramSettings();
    bool window = frontEnd == FrontEnd::Window;
    if (window) DisableAutoRun();
    core::KeepReadingPauses(window);
    return true;
}

bool StartUp(const std::string& executablePath) {
    if (!StartFrontEnd(FrontEnd::Window, executablePath, {})) return false;
    ui::UI().SetDefaultFont("Tahoma", 8);
    RegisterProgramImages();
    BuildMainWindow();
    KeepWindowOnScreen(core::MainWindow);
    disk::RefreshDriveList();
    StartWorker([](int32_t) { download::ScanLocalRepository(); }, 0);
    if (core::CheckLatestCloverAtStartup == 1) {
        StartLatestRevisionCheck(1);
    } else if (int32_t revision = std::atoi(core::CloverLastRev.c_str()); revision > 0) {
        core::DownloadRevisions.push_back(revision);
    }
    return true;
}

void ExitSequence() {
    DeleteTempFolder();
    core::SaveSettings();
    RestoreAutoRun();
    core::TaskbarProgress.reset();
    instanceLock.reset();
    ui::UI().Shutdown();
}

int RunProgram() {
    if (!StartUp(platform::ExecutablePath())) return 0;
    MainLoop();
    ExitSequence();
    return 0;
}

int EndProgram(int exitCode) {
    if (LiveWorkers() == 0) return exitCode;
    std::fflush(nullptr);
    std::_Exit(exitCode);
}

}  // namespace app
