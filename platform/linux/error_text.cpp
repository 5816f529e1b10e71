#include "platform/error_text.h"

#include <cerrno>
#include <cstring>

namespace platform {

uint32_t LastSystemError() { return uint32_t(errno); }

std::string SystemErrorText(uint32_t code) {
    char buffer[256];
    // The GNU variant returns the text, which may or may not be in the buffer.
    const char* text = strerror_r(int(code), buffer, sizeof buffer);
    return text && *text ? text : "Error " + std::to_string(code);
}

}  // namespace platform
