#include "ui/toolkit.h"

namespace ui {
namespace {
std::unique_ptr<Toolkit> current;
}

Toolkit& UI() { return *current; }
void SetToolkit(std::unique_ptr<Toolkit> toolkit) { current = std::move(toolkit); }
bool HasToolkit() { return current != nullptr; }

}  // namespace ui
