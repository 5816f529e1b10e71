// Running an unpacked tool (the archiver or a script in TempFolder) the program's way.
#pragma once

#include <string>
#include <vector>

namespace resources {

// Gives every entry of TempFolder the hidden attribute, then runs the tool to its end in
// the working folder ("" = the current one); hidden: without a console window. The exit
// code, -1 when the tool could not be started; only 0 means success.
int RunUnpackedTool(const std::string& tool, const std::vector<std::string>& arguments,
                    const std::string& workingFolder, bool hidden);

// One archiver step judged as the program judges it: the archiver also exits 0 when
// nothing matched, so the step succeeds only with exit code 0 and every expected file
// (full paths) present afterwards. Expected files left by an earlier run are removed
// first: a stale one must not pass for a result, and a stale data set ZIP would be packed
// into the new one.
bool RunArchiverStep(const std::string& tool, const std::vector<std::string>& arguments,
                     const std::string& workingFolder, bool hidden,
                     const std::vector<std::string>& expectedFiles);

}  // namespace resources
