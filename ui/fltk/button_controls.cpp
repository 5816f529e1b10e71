// Controls the user presses or types into: buttons, check boxes, option buttons, edit boxes.
#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Multiline_Output.H>
#include <FL/Fl_Round_Button.H>
#include <FL/fl_draw.H>

#undef None  // X11's, pulled in by FLTK; the toolkit has an Icon::None

#include "ui/fltk/app_window.h"
#include "ui/fltk/controls.h"
#include "ui/fltk/text.h"

namespace ui::fltk {
namespace {

// Label, plain text and the callback every pressable control shares.
template <class Base>
class Pressable : public Base, public Control {
public:
    explicit Pressable(const ControlParams& params)
        : Base(params.rect.x, params.rect.y, params.rect.w, params.rect.h), Control(this) {
        Base::copy_label(params.text.c_str());
        Base::labeltype(kPlainLabel);
        Base::callback(NotifyControl, ControlData(params.id));
    }

    void SetState(int state) override { Base::value(state != 0); }
    int State() const override { return Base::value(); }
};

// FLTK makes all radio buttons of a parent exclusive; a window here holds several groups,
// so the group is kept by number.
class OptionButton : public Pressable<Fl_Round_Button> {
public:
    explicit OptionButton(const ControlParams& params)
        : Pressable(params), group_(params.optionGroup) {
        callback(Picked);
    }

private:
    static void Picked(Fl_Widget* widget, void* data) {
        auto* picked = static_cast<OptionButton*>(widget);
        picked->value(1);  // a second click leaves it on, as a radio button does
        Fl_Group* parent = picked->parent();
        for (int i = 0; i < parent->children(); ++i) {
            auto* other = dynamic_cast<OptionButton*>(parent->child(i));
            if (other && other != picked && other->group_ == picked->group_) other->value(0);
        }
        NotifyControl(widget, data);
    }

    int group_;
};

// FLTK 1.3 inputs cannot centre their text; a centred box narrows its text area
// symmetrically around the text while it handles and draws.
class EditBox : public Fl_Input, public Control {
public:
    explicit EditBox(const ControlParams& params)
        : Fl_Input(params.rect.x, params.rect.y, params.rect.w, params.rect.h),
          Control(this),
          centred_(params.style.centred) {
        if (params.style.digitsOnly) type(FL_INT_INPUT);
        if (params.style.maxLength > 0) maximum_size(params.style.maxLength);
        value(params.text.c_str());
        when(FL_WHEN_CHANGED);
        callback(NotifyControl, ControlData(params.id));
    }

    void SetText(const std::string& text) override { value(text.c_str()); }
    std::string Text() const override { return value(); }

    int handle(int event) override {
        int indent = Indent();
        Narrow(indent);
        int used = Fl_Input::handle(event);
        Narrow(-indent);
        return used;
    }

    void draw() override {
        if (!centred_) return Fl_Input::draw();
        draw_box(box(), color());
        int indent = Indent();
        Narrow(indent);
        clear_damage(FL_DAMAGE_ALL);  // the text moves as it grows, so repaint all of it
        Fl_Boxtype b = box();
        drawtext(x() + Fl::box_dx(b), y() + Fl::box_dy(b), w() - Fl::box_dw(b),
                 h() - Fl::box_dh(b));
        Narrow(-indent);
    }

private:
    static constexpr int kCursorRoom = 4;

    int Indent() const {
        if (!centred_) return 0;
        fl_font(textfont(), textsize());
        int spare = w() - Fl::box_dw(box()) - int(fl_width(value())) - kCursorRoom;
        return spare > 0 ? spare / 2 : 0;
    }

    void Narrow(int indent) {
        x(x() + indent);
        w(w() - 2 * indent);
    }

    bool centred_;
};

// A box of wrapped lines the program writes and the user only reads.
class ReadOnlyText : public Fl_Multiline_Output, public Control {
public:
    explicit ReadOnlyText(const ControlParams& params)
        : Fl_Multiline_Output(params.rect.x, params.rect.y, params.rect.w, params.rect.h),
          Control(this) {
        wrap(1);
        value(params.text.c_str());
    }

    void SetText(const std::string& text) override { value(text.c_str()); }
    std::string Text() const override { return value(); }
};

}  // namespace

Control* MakeButtonControl(const ControlParams& params) {
    switch (params.kind) {
        case ControlKind::CheckBox:
            return new Pressable<Fl_Check_Button>(params);
        case ControlKind::OptionButton:
            return new OptionButton(params);
        case ControlKind::EditBox:
            if (params.style.multiLine) return new ReadOnlyText(params);
            return new EditBox(params);
        default:
            return new Pressable<Fl_Button>(params);
    }
}

}  // namespace ui::fltk
