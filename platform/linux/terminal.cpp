#include "platform/terminal.h"

#include <unistd.h>

namespace platform {

bool IsTerminal(FILE* stream) { return stream && isatty(fileno(stream)); }

std::vector<std::string> CommandLineWords(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

void UseUnchangedOutput() {}

}  // namespace platform
