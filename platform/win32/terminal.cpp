#include "platform/terminal.h"

#include <io.h>

namespace platform {

bool IsTerminal(FILE* stream) { return stream && _isatty(_fileno(stream)); }

}  // namespace platform
