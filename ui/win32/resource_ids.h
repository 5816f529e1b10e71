// Numbers shared by the resource script and the code.
#pragma once

#define STICKFORGE_PROGRAM_ICON 1
