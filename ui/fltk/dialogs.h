// Modal dialogs; they run their own event loop, so only on the interface thread.
#pragma once

#include <string>
#include <vector>

#include "ui/toolkit.h"

namespace ui::fltk {

Answer RunMessageBox(const std::string& title, const std::string& text, Icon icon, Buttons buttons);

enum class RequesterKind { Open, Save, Folder };

// The chosen path, empty when cancelled.
std::string RunRequester(RequesterKind kind, const std::string& title, const std::string& path,
                         const std::vector<FileFilter>& filters, int filterIndex);

}  // namespace ui::fltk
