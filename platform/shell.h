// Opening documents and web pages with the user's default program.
#pragma once

#include <string>

namespace platform {

// Opens target (a file path or an address) with its associated program.
// False when nothing could be started.
bool ShellOpen(const std::string& target);

}  // namespace platform
