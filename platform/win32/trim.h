// Device and volume texts come padded with spaces.
#pragma once

#include <string>
#include <string_view>

namespace platform::win32 {

inline std::string TrimSpaces(std::string_view text) {
    size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    size_t last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

}  // namespace platform::win32
