// The Clover data sets kept in the local repository folder: ZIP archives whose `boot`
// file records the Clover revision.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

namespace download {

// Guards LocalArchives, LocalArchivePath and LocalArchiveRevision: scans run on workers
// and on the interface thread while the format reads the chosen archive.
extern std::mutex LocalArchivesLock;

// Rebuilds LocalArchives, highest revision first, and chooses the first; 1 when any
// archive was found.
int32_t ScanLocalRepository();

// The revision in the "Clover revision: " line of the archive's `boot`; 0 when none.
int32_t ReadArchiveRevision(const std::string& archivePath);

}  // namespace download
