#pragma once

#include <cstdio>

namespace platform {

// True when the stream is an interactive terminal rather than a file or pipe.
bool IsTerminal(FILE* stream);

}  // namespace platform
