#include "ui/fltk/controls.h"

#include <FL/Fl_Group.H>

namespace ui::fltk {

void Control::SetText(const std::string& text) {
    widget_.copy_label(text.c_str());
    widget_.redraw();
}

std::string Control::Text() const { return widget_.label() ? widget_.label() : ""; }

Control* MakeControl(const ControlParams& params) {
    Fl_Group::current(nullptr);
    Control* control = nullptr;
    switch (params.kind) {
        case ControlKind::GroupFrame:
        case ControlKind::DrawingArea:
        case ControlKind::LinkLabel:
        case ControlKind::Text:
        case ControlKind::CenteredText:
        case ControlKind::Image:
            control = MakeStaticControl(params);
            break;
        case ControlKind::Button:
        case ControlKind::CheckBox:
        case ControlKind::OptionButton:
        case ControlKind::EditBox:
            control = MakeButtonControl(params);
            break;
        case ControlKind::TreeView:
        case ControlKind::ComboBox:
        case ControlKind::ListBox:
            control = MakeListControl(params);
            break;
    }
    if (params.style.disabled) control->Widget().deactivate();
    return control;
}

}  // namespace ui::fltk
