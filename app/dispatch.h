// The main loop and the dispatch of every button, menu item, close box and link click.
#pragma once

#include <cstdint>

#include "ui/toolkit.h"

namespace app {

// The argument the format worker gets: 1 when a data set is to be installed.
int32_t FormatWorkerArgument();

void DispatchEvent(const ui::Event& event);

// Waits at most 100 ms per event until QuitRequested is set.
void MainLoop();

}  // namespace app
