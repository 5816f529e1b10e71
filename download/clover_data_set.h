// The "DL" data set: the Clover ISO archive of DownloadRevision is downloaded into the
// temporary folder, checked against the SHA-256 digest GitHub publishes for it where it
// came from there, turned into a data set ZIP by the packed archiver and script, and
// extracted onto the boot partition; kept in the local repository when so configured.
#pragma once

#include <cstdint>
#include <string>
#include <thread>

#include "core/outcome.h"

namespace download {

// Extracts the data set onto target (a volume's root; a closing separator is optional).
// Done when it is there; every failure has shown its message. The temporary folder is
// gone afterwards on every path.
core::Outcome InstallCloverDataSet(const std::string& target);

// Starts DownloadCloverArchive on a thread of its own when no other download runs; a
// thread that is not joinable when one does, and then nothing starts.
std::jthread StartCloverDownload();

// The download thread's body: the archive of DownloadRevision into TempFolder, with the
// standard progress and result report: from GitHub (CloverISO-N.iso.7z) where the last
// check found the revision there, else from SourceForge (CloverISO-N.tar.lzma). Frees the
// download slot at its end. Returns 0.
int32_t DownloadCloverArchive(int32_t argument);

}  // namespace download
