// The FixDsdtMask calculator window: one check box per bit of the mask.
#pragma once

#include <string>

namespace tools {

// Opens the window over the main window, which stays disabled until it closes.
void OpenCalculatorWindow();
// Sets every bit check box, the binary and the hexadecimal text from FixDsdtMask.
void RefreshCalculator();
// A click on a bit check box: the mask from all boxes, with the NewWay rule.
void ToggleCalculatorBit(int control);
void SetCalculatorInfo(const std::string& caption, const std::string& text);

}  // namespace tools
