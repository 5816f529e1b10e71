// The FLTK backend of the toolkit, used by the Linux build.
#pragma once

#include <memory>

#include "ui/toolkit.h"

namespace ui {

// Creates the toolkit on the calling thread, which becomes the interface thread.
std::unique_ptr<Toolkit> CreateFltkToolkit();

// Queues an event that does not come from FLTK itself (device changes); any thread.
// Does nothing when the toolkit is not the FLTK one.
void PostFltkEvent(Toolkit& toolkit, const Event& event);

}  // namespace ui
