#include "resources/tool_run.h"

#include "app/state.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"

namespace app {

int RunUnpackedTool(const std::string& tool, const std::vector<std::string>& arguments,
                    const std::string& workingFolder, bool hidden) {
    if (!TempFolder.empty())
        for (const platform::FolderEntry& entry : platform::ListFolder(TempFolder))
            platform::SetHidden(platform::JoinPath(TempFolder, entry.name));
    return platform::RunTool(tool, arguments, workingFolder, hidden);
}

bool RunArchiverStep(const std::string& tool, const std::vector<std::string>& arguments,
                     const std::string& workingFolder, bool hidden,
                     const std::vector<std::string>& expectedFiles) {
    for (const std::string& file : expectedFiles)
        if (platform::FileExists(file) && !platform::RemoveFile(file)) return false;
    if (RunUnpackedTool(tool, arguments, workingFolder, hidden) != 0) return false;
    for (const std::string& file : expectedFiles)
        if (!platform::FileExists(file)) return false;
    return true;
}

}  // namespace app
