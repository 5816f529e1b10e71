// Error message boxes with the system's own words.
#pragma once

#include <cstdint>
#include <string>

namespace download {

// A message box titled "Error" with the system's text for an error code.
void ShowSystemError(uint32_t code);

// The same box with a text already in hand (a transport's own description).
void ShowErrorText(const std::string& text);

}  // namespace download
