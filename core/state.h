// Process-wide state of the program: version, location, shared flags and lists.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace core {

extern std::string VersionText;
extern std::string AboutHeader;
extern std::string ProgramPath;
extern std::string ProgramFileName;
extern std::string ProgramBaseName;
extern std::string ProgramFolder;  // ends with the path separator
// Where the settings file lives and the defaults of the two repositories (Clover archives,
// partition images), each ending with the separator: the program folder for a portable
// copy, the starting user's folders for an installed one.
extern std::string SettingsFolder;
extern std::string CloverRepositoryDefault;
extern std::string ImageRepositoryDefault;
extern std::string SystemDriveLetter;
extern std::string SavedAutoRunValue;

// Shared between the interface thread and the workers.
extern std::atomic<int32_t> QuitRequested;
extern std::atomic<int32_t> BusyFlag;
extern std::atomic<int32_t> TransferCancelFlag;
extern std::atomic<int32_t> CancelFlag;
extern std::atomic<bool> DownloadThreadRunning;  // the one download thread exists

extern std::string DownloadRevision;
extern std::string LocalArchivePath;
extern std::string LocalArchiveRevision;
extern std::vector<int32_t> DownloadRevisions;
// Held while the revision check changes DownloadRevisions, DownloadRevision and
// CloverLastRev, and by the readers on other threads.
extern std::mutex RevisionsLock;

struct LocalArchive {
    std::string Name;
    int32_t Revision = 0;
};
extern std::vector<LocalArchive> LocalArchives;

// Registry key paths.
extern const char* const AutoRunKeyPath;
extern const char* const AutoRunValueName;
extern const char* const AppleHfsKeyPath;
extern const char* const AppleMntKeyPath;

extern std::string TempFolder;

// Sets the globals to their start-up values; the calling thread is the main thread.
void InitialiseGlobals();
bool OnMainThread();

// "v2.1.2016." + the build number as three digits + " Beta".
std::string BuildVersionText(int build);

// Fills ProgramPath, ProgramFileName, ProgramBaseName and ProgramFolder from path; the
// settings and repositories start beside the program.
void SetProgramLocation(const std::string& path);

// An installed copy moves the settings and the repositories' defaults into the starting
// user's folders, which it makes (that user's) when missing. A portable copy keeps them.
void UseInstalledPlaces();

}  // namespace core
