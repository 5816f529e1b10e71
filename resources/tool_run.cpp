#include "resources/tool_run.h"

#include "core/progress.h"
#include "core/state.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "resources/packed_resources.h"
#include "resources/temp_folder.h"

namespace resources {

int RunUnpackedTool(const std::string& tool, const std::vector<std::string>& arguments,
                    const std::string& workingFolder, bool hidden) {
    HideTempFolderEntries();
    std::string archiver = platform::JoinPath(core::TempFolder, ArchiverFileName);
    std::string runnable = platform::RunnableProgram(archiver);
    if (runnable.empty()) {
        core::ShowStatus(std::string("Can't run ") + ArchiverFileName + ": " + core::TempFolder +
                             " lets no program run (noexec) and the system has no " +
                             ArchiverFileName,
                         2000);
        return -1;
    }
    return platform::RunTool(tool == archiver ? runnable : tool, arguments, workingFolder, hidden);
}

}  // namespace resources
