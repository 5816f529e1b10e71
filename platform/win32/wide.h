// Text crosses the Win32 boundary here: the program keeps UTF-8, the W functions take UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace platform {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

}  // namespace platform
