// Running an unpacked tool (the archiver or a script in TempFolder) the program's way.
#pragma once

#include <string>
#include <vector>

namespace resources {

// Gives every entry of TempFolder the hidden attribute, then runs the tool to its end in
// the working folder ("" = the current one); hidden: without a console window. Both the
// archiver and the scripts need the archiver: where TempFolder's file system lets no
// program run, the system's archiver stands in (the scripts look for it themselves); with
// none, a status line says so and nothing runs. The exit code, -1 when the tool could not
// be started; only 0 means success.
int RunUnpackedTool(const std::string& tool, const std::vector<std::string>& arguments,
                    const std::string& workingFolder, bool hidden);

}  // namespace resources
