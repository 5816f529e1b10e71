#include "core/state.h"

#include "core/recovery_entry.h"
#include "platform/path_parts.h"
#include "platform/paths.h"

namespace core {

std::string VersionText;
std::string AboutHeader;
std::string ProgramPath;
std::string ProgramFileName;
std::string ProgramBaseName;
std::string ProgramFolder;
std::string SettingsFolder;
std::string CloverRepositoryDefault;
std::string ImageRepositoryDefault;
std::string SystemDriveLetter;
std::string SavedAutoRunValue;

std::atomic<int32_t> QuitRequested{0};
std::atomic<int32_t> BusyFlag{0};
std::atomic<int32_t> TransferCancelFlag{0};
std::atomic<int32_t> CancelFlag{0};
std::atomic<bool> DownloadThreadRunning{false};

std::string DownloadRevision = "0";
std::string LocalArchivePath;
std::string LocalArchiveRevision;
std::vector<int32_t> DownloadRevisions;
std::mutex RevisionsLock;
std::vector<LocalArchive> LocalArchives;
std::vector<RecoveryEntry> RecoveryList;
std::mutex RecoveryListLock;

const char* const AutoRunKeyPath =
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
const char* const AutoRunValueName = "NoDriveTypeAutoRun";
const char* const AppleHfsKeyPath =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\services\\AppleHFS";
const char* const AppleMntKeyPath =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\services\\AppleMNT";

std::string TempFolder;

std::string BuildVersionText(int build) {
    std::string number = std::to_string(build);
    if (number.size() < 3) number.insert(0, 3 - number.size(), '0');
    return "v2.1.2016." + number + " Beta";
}

namespace {
std::thread::id mainThread;
}

bool OnMainThread() { return std::this_thread::get_id() == mainThread; }

void InitialiseGlobals() {
    mainThread = std::this_thread::get_id();
    QuitRequested = 0;
    BusyFlag = 0;
    TransferCancelFlag = 0;
    CancelFlag = 0;
    DownloadThreadRunning = false;
    SavedAutoRunValue.clear();
    DownloadRevision = "0";
    LocalArchivePath.clear();
    LocalArchiveRevision.clear();
    DownloadRevisions.clear();
    LocalArchives.clear();
    RecoveryList.clear();
    TempFolder.clear();
}

void SetProgramLocation(const std::string& path) {
    ProgramPath = path;
    ProgramFolder = platform::FolderPart(path);
    ProgramFileName = platform::FileNamePart(path);
    // The extension goes (Stickforge.exe -> Stickforge); a name without one stays whole.
    size_t dot = ProgramFileName.rfind('.');
    ProgramBaseName = dot == std::string::npos || dot == 0 || ProgramFileName.size() - dot > 4
                          ? ProgramFileName
                          : ProgramFileName.substr(0, dot);
    SettingsFolder = CloverRepositoryDefault = ImageRepositoryDefault = ProgramFolder;
}

void UseInstalledPlaces() {
    platform::UserFolders folders =
        platform::InstalledUserFolders(ProgramFolder, ProgramBaseName + ".ini");
    if (folders.config.empty()) return;
    SettingsFolder = folders.config;
    CloverRepositoryDefault = platform::JoinPath(folders.data, "clover/");
    ImageRepositoryDefault = platform::JoinPath(folders.data, "images/");
    for (const std::string* folder :
         {&SettingsFolder, &CloverRepositoryDefault, &ImageRepositoryDefault})
        platform::MakeUserFolder(*folder);
}

}  // namespace core
