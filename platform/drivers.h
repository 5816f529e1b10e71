// Where the system's file-system drivers live, and which build of them it runs.
#pragma once

#include <string>

namespace platform {

// Windows: the system directory + "\drivers\"; Linux: "drivers/" in the program's state
// folder, beside the registry stand-in. Ends with the separator; empty when unknown.
std::string DriversFolder();

// True where the system reads HFS+ volumes by itself, with no driver to install (Linux).
bool SystemReadsHfs();

// True when the system runs 64-bit code (a 64-bit process, or a 32-bit one under WOW64;
// Linux: the machine's word size).
bool Is64BitSystem();

}  // namespace platform
