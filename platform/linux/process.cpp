#include "platform/process.h"

#include "platform/linux/child_process.h"

namespace platform {
namespace {

bool IsScript(const std::string& path) {
    return path.size() > 3 && path.compare(path.size() - 3, 3, ".sh") == 0;
}

}  // namespace

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
