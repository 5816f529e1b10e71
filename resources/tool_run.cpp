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

}  // namespace app
