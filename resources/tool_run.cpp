#include "resources/tool_run.h"

#include "core/state.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "resources/temp_folder.h"

namespace resources {

int RunUnpackedTool(const std::string& tool, const std::vector<std::string>& arguments,
                    const std::string& workingFolder, bool hidden) {
    HideTempFolderEntries();
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

}  // namespace resources
