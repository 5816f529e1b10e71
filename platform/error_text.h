// The system's own words for its error codes.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The calling thread's last error code (GetLastError, errno).
uint32_t LastSystemError();

// The message text for a code without the line end; "Error N" when the system has none.
std::string SystemErrorText(uint32_t code);

}  // namespace platform
