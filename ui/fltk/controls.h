// The controls of the program's windows. Each kind is an FLTK widget that also implements
// Control, so the widget owns all of its state and dies with its window.
#pragma once

#include <FL/Fl_Image.H>
#include <FL/Fl_Widget.H>

#include <string>

#include "ui/toolkit.h"

namespace ui::fltk {

class Control {
public:
    explicit Control(Fl_Widget* widget) : widget_(*widget) {}
    virtual ~Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    Fl_Widget& Widget() const { return widget_; }

    // By default the text is the widget's label.
    virtual void SetText(const std::string& text);
    virtual std::string Text() const;
    virtual void SetState(int) {}
    virtual int State() const { return 0; }

    virtual void ClearItems() {}
    virtual void AddItem(const std::string&, int) {}
    virtual int ItemCount() const { return 0; }
    virtual std::string ItemText(int) const { return {}; }
    virtual int ItemLevel(int) const { return 0; }
    virtual void SelectItem(int) {}
    virtual int SelectedItem() const { return -1; }

    virtual void Paint(const StatusPaint&) {}

private:
    Fl_Widget& widget_;
};

struct ControlParams {
    ControlKind kind = ControlKind::Text;
    int id = 0;
    Rect rect;  // window coordinates
    std::string text;
    ControlStyle style;
    Fl_Image* image = nullptr;  // Image controls
    int optionGroup = 0;        // option buttons
};

// The new widget belongs to no group yet; its callback posts the control's events.
Control* MakeControl(const ControlParams& params);

// The families of kinds, one source file each.
Control* MakeStaticControl(const ControlParams& params);
Control* MakeButtonControl(const ControlParams& params);
Control* MakeListControl(const ControlParams& params);

}  // namespace ui::fltk
