#pragma once
#include <string>
namespace tools {
void OpenCalculatorWindow();
// Sets every bit check box from FixDsdtMask.
void RefreshCalculator();
void ToggleCalculatorBit(int control);
void SetCalculatorInfo(const std::string& caption, const std::string& text);
}  // namespace tools
