// Whether the process may open disks for writing.
#pragma once

#include <string>

namespace platform::win32 {

// "" when the process runs with administrator rights, else the sentence the user reads.
std::string WriteRightsProblem();

}  // namespace platform::win32
