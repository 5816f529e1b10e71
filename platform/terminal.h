#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace platform {

// True when the stream is an interactive terminal rather than a file or pipe.
bool IsTerminal(FILE* stream);

// The command line as UTF-8 words (Windows hands main() the ANSI code page).
std::vector<std::string> CommandLineWords(int argc, char** argv);

// Makes standard output and error carry the program's bytes unchanged (no CR inserted
// before LF) and shows UTF-8 correctly in a console.
void UseUnchangedOutput();

}  // namespace platform
