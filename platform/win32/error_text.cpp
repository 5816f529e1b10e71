#include "platform/error_text.h"

#include <windows.h>

#include "platform/win32/system_error.h"

namespace platform {

uint32_t LastSystemError() { return GetLastError(); }

std::string SystemErrorText(uint32_t code) { return win32::SystemErrorText(code); }

}  // namespace platform
