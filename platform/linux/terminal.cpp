#include "platform/terminal.h"

#include <unistd.h>

namespace platform {

bool IsTerminal(FILE* stream) { return stream && isatty(fileno(stream)); }

}  // namespace platform
