// The system's own text for an error code, for messages the user reads.
#pragma once

#include <windows.h>

#include <string>

namespace platform::win32 {

// "Error N" when the system has no text for the code.
std::string SystemErrorText(DWORD code);

}  // namespace platform::win32
