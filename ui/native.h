// The platform's windowing toolkit (Win32 controls on Windows, FLTK elsewhere).
#pragma once

#include <memory>

#include "ui/toolkit.h"

namespace ui {

std::unique_ptr<Toolkit> CreateNativeToolkit();

}  // namespace ui
