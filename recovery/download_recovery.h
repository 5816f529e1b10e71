// "OK" in the Download Tool: a Recovery HD package downloaded, checked against the
// catalog's size and digest and unpacked by the recovery script into the image folder;
// or an Internet Recovery image fetched, checked chunk by chunk and its HFS image
// extracted beside it in a folder of the image folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/outcome.h"
#include "core/recovery_entry.h"
#include "download/http_download.h"

namespace recovery {

// Downloads, checks and extracts the package of RecoveryList[entryIndex]; images
// receives the paths of the HFS images it left in SFKImageLocalRepo. An index outside
// the list starts nothing; a download holding the download slot, or an operation
// holding BusyFlag, refuses it.
core::Outcome RunRecoveryDownload(int32_t entryIndex, std::vector<std::string>& images);
// The same for an entry of the caller's own, such as an Internet Recovery board ID.
core::Outcome RunRecoveryDownload(const core::RecoveryEntry& entry,
                                  std::vector<std::string>& images);

// The worker body started by "OK".
void DownloadRecoveryHD(int32_t entryIndex);

// The download thread's body: entry.URL into TempFolder, result in request. The caller
// holds the download slot.
void DownloadRecoveryPackage(const core::RecoveryEntry& entry, download::DownloadRequest& request);

// The closing box of a successful download, its dots as they always were.
std::string RecoverySummaryText(const std::string& title);

}  // namespace recovery
