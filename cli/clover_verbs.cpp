#include "cli/clover_verbs.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "app/main_window.h"
#include "cli/failure.h"
#include "core/outcome.h"
#include "core/state.h"
#include "download/clover_data_set.h"
#include "download/latest_revision.h"
#include "platform/paths.h"

namespace cli {

int RunCheckLatest(const std::vector<std::string>& arguments) {
    if (!arguments.empty()) return Fail("check-latest takes no arguments", kUsageError);
    app::BuildMainWindow();  // the status lines and the menu title, as the window shows them
    if (download::RunRevisionCheck() != core::Outcome::Done)
        return Fail("no Clover revision was found");
    std::lock_guard lock(core::RevisionsLock);
    for (int32_t revision : core::DownloadRevisions) std::printf("%d\n", revision);
    return 0;
}

int RunInstallClover(const std::vector<std::string>& arguments) {
    if (arguments.size() != 1) return Fail("install-clover needs FOLDER", kUsageError);
    const std::string& folder = arguments[0];
    if (!platform::FolderExists(folder)) return Fail("no folder " + folder, kUsageError);
    app::BuildMainWindow();
    if (std::atoi(core::DownloadRevision.c_str()) == 0 &&
        download::RunRevisionCheck() != core::Outcome::Done)
        return Fail("no Clover revision was found");
    if (download::InstallCloverDataSet(folder) != core::Outcome::Done)
        return Fail("the Clover data set was not installed");
    return 0;
}

}  // namespace cli
