// Outside programs run to their end: the archiver and the scripts that drive it.
#pragma once

#include <string>
#include <vector>

namespace platform {

// Runs the program with the arguments in the working folder ("" = the current one) and
// waits for its end. A script (".bat" on Windows, ".sh" elsewhere) runs through the
// system's command interpreter. hidden: no console window on Windows; elsewhere its
// output is discarded rather than shown on ours. The exit code, or -1 when it could not
// be started or did not end by itself.
int RunTool(const std::string& executable, const std::vector<std::string>& arguments,
            const std::string& workingFolder, bool hidden);

// The program to start for the one at the path: that one where it may run there; else
// (Linux: its folder's file system forbids programs, noexec) the system's program of
// the same name on the PATH; "" when neither can run.
std::string RunnableProgram(const std::string& path);

}  // namespace platform
