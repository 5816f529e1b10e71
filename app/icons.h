// The pictures the program carries: six 16 x 16 menu icons and the 72 x 72 program icon.
#pragma once

#include "ui/toolkit.h"

namespace app {

ui::Image ProgramImage(int number);

// Hands every picture to the toolkit under its number.
void RegisterProgramImages();

}  // namespace app
