#include "ui/toolkit.h"

namespace ui {
namespace {
std::unique_ptr<Toolkit> current;
}

Toolkit& UI() { return *current; }
void SetToolkit(std::unique_ptr<Toolkit> toolkit) { current = std::move(toolkit); }
bool HasToolkit() { return current != nullptr; }

Answer DecliningAnswer(Buttons buttons) {
    switch (buttons) {
        case Buttons::Ok:
            return Answer::Ok;
        case Buttons::YesNo:
            return Answer::No;
        case Buttons::OkCancel:
        case Buttons::YesNoCancel:
            return Answer::Cancel;
    }
    return Answer::Cancel;
}

}  // namespace ui
