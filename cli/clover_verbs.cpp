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

// One revision per line, highest first; with --sources a tab and where it was found.
int RunCheckLatest(const std::vector<std::string>& arguments) {
    bool sources = arguments.size() == 1 && arguments[0] == "--sources";
    if (!arguments.empty() && !sources)
        return Fail("check-latest takes no arguments but --sources", kUsageError);
    app::BuildMainWindow();  // the status lines and the menu title, as the window shows them
    if (download::RunRevisionCheck() != core::Outcome::Done)
        return Fail("no Clover revision was found");
    std::vector<int32_t> revisions;
    {
        std::lock_guard lock(core::RevisionsLock);
        revisions = core::DownloadRevisions;
    }
    for (int32_t revision : revisions) {
        std::string origin =
            sources ? "\t" + download::OriginText(download::OriginOf(revision)) : "";
        std::printf("%d%s\n", revision, origin.c_str());
    }
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
