#include "platform/process.h"

#include <unistd.h>

#include <cstdlib>
#include <sstream>

#include "platform/linux/child_process.h"

namespace platform {
namespace {

bool IsScript(const std::string& path) {
    return path.size() > 3 && path.compare(path.size() - 3, 3, ".sh") == 0;
}

}  // namespace

// access() also says no to a file system mounted noexec.
std::string RunnableProgram(const std::string& path) {
    if (access(path.c_str(), X_OK) == 0) return path;
    const char* search = std::getenv("PATH");
    std::string name = path.substr(path.find_last_of('/') + 1);
    std::istringstream folders(search ? search : "");
    for (std::string folder; std::getline(folders, folder, ':');) {
        if (!folder.starts_with("/")) continue;  // nothing that depends on the working folder
        std::string candidate = folder + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return "";
}

int RunTool(const std::string& executable, const std::vector<std::string>& arguments,
            const std::string& workingFolder, bool hidden) {
    if (executable.empty()) return -1;
    // The archiver reads file names in the user's locale, so that one is kept.
    linuxos::ChildOptions options{
        hidden ? linuxos::ChildOutput::Discard : linuxos::ChildOutput::Inherit,
        workingFolder,
        false,
        {}};
    std::vector<std::string> argv;
    if (IsScript(executable)) argv.push_back("/bin/sh");
    argv.push_back(executable);
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return linuxos::RunProgram(argv, options);
}

}  // namespace platform
