// A message box of our own: fl_message cannot show a title together with these icons.
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#undef None  // X11's, pulled in by FLTK; the toolkit has an Icon::None

#include "ui/fltk/dialogs.h"
#include "ui/fltk/text.h"

namespace ui::fltk {
namespace {

constexpr int kMargin = 12;
constexpr int kIconSize = 32;
constexpr int kMaxTextWidth = 420;
constexpr int kButtonW = 80;
constexpr int kButtonH = 24;
constexpr int kButtonGap = 8;
constexpr int kLabelInset = 3;

struct Choice {
    const char* label;
    Answer answer;
};

std::vector<Choice> ChoicesFor(Buttons buttons) {
    switch (buttons) {
        case Buttons::Ok:
            return {{"OK", Answer::Ok}};
        case Buttons::OkCancel:
            return {{"OK", Answer::Ok}, {"Cancel", Answer::Cancel}};
        case Buttons::YesNo:
            return {{"Yes", Answer::Yes}, {"No", Answer::No}};
        case Buttons::YesNoCancel:
            return {{"Yes", Answer::Yes}, {"No", Answer::No}, {"Cancel", Answer::Cancel}};
    }
    return {};
}

// What closing the box means; a Yes/No question has no way out but its buttons.
std::optional<Answer> CloseAnswer(Buttons buttons) {
    switch (buttons) {
        case Buttons::Ok:
            return Answer::Ok;
        case Buttons::YesNo:
            return std::nullopt;
        default:
            return Answer::Cancel;
    }
}

class IconView : public Fl_Widget {
public:
    IconView(int x, int y, Icon icon) : Fl_Widget(x, y, kIconSize, kIconSize), icon_(icon) {}

    void draw() override {
        if (icon_ == Icon::Warning) return DrawWarning();
        fl_color(icon_ == Icon::Error ? fl_rgb_color(210, 40, 40) : fl_rgb_color(40, 100, 210));
        fl_pie(x(), y(), w(), h(), 0, 360);
        DrawGlyph(icon_ == Icon::Error ? "X" : icon_ == Icon::Question ? "?" : "i");
    }

private:
    void DrawWarning() {
        fl_color(fl_rgb_color(240, 190, 30));
        fl_polygon(x() + w() / 2, y(), x() + w(), y() + h() - 1, x(), y() + h() - 1);
        fl_color(FL_BLACK);
        DrawGlyph("!", 4);
    }

    void DrawGlyph(const char* glyph, int drop = 0) {
        if (icon_ != Icon::Warning) fl_color(FL_WHITE);
        fl_font(FL_HELVETICA_BOLD, h() * 2 / 3);
        fl_draw(glyph, x(), y() + drop, w(), h(), FL_ALIGN_CENTER, nullptr, 0);
    }

    Icon icon_;
};

class MessageWindow {
public:
    MessageWindow(const std::string& title, const std::string& text, Icon icon, Buttons buttons)
        : text_(DisplayText(text)), choices_(ChoicesFor(buttons)), onClose_(CloseAnswer(buttons)) {
        Layout(icon);
        window_->copy_label(title.c_str());
    }

    Answer Run() {
        window_->set_modal();
        window_->show();
        while (window_->shown()) Fl::wait();
        return answer_;
    }

private:
    void Layout(Icon icon) {
        int textW = kMaxTextWidth, textH = 0;
        fl_font(FL_HELVETICA, FL_NORMAL_SIZE);
        fl_measure(text_.c_str(), textW, textH, 0);
        int textX = kMargin + (icon == Icon::None ? 0 : kIconSize + kMargin);
        int buttonsW = int(choices_.size()) * (kButtonW + kButtonGap) - kButtonGap;
        int bodyH = std::max(textH, icon == Icon::None ? 0 : kIconSize);
        int width = std::max(textX + textW, buttonsW) + kMargin;
        int height = kMargin + bodyH + kMargin + kButtonH + kMargin;

        Fl_Group::current(nullptr);
        window_ = std::make_unique<Fl_Double_Window>(width, height);
        if (icon != Icon::None) new IconView(kMargin, kMargin, icon);
        // A left-aligned label is drawn inset on both sides.
        auto* body = new Fl_Box(textX - kLabelInset, kMargin, textW + 2 * kLabelInset, bodyH);
        body->label(text_.c_str());
        body->labeltype(kPlainLabel);
        body->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
        AddButtons((width - buttonsW) / 2, height - kMargin - kButtonH);
        window_->end();
        window_->callback(OnClose, this);
        int sx, sy, sw, sh;
        Fl::screen_work_area(sx, sy, sw, sh, 0);
        window_->position(sx + (sw - width) / 2, sy + (sh - height) / 2);
    }

    void AddButtons(int x, int y) {
        for (const Choice& choice : choices_) {
            auto* button = new Fl_Button(x, y, kButtonW, kButtonH, choice.label);
            button->callback(OnButton, const_cast<Choice*>(&choice));
            if (&choice == &choices_.front()) button->shortcut(FL_Enter);
            x += kButtonW + kButtonGap;
        }
    }

    void Finish(Answer answer) {
        answer_ = answer;
        window_->hide();
    }

    static void OnButton(Fl_Widget* button, void* choice) {
        auto* self = static_cast<MessageWindow*>(button->window()->user_data());
        self->Finish(static_cast<Choice*>(choice)->answer);
    }

    static void OnClose(Fl_Widget*, void* data) {  // close box and Escape
        auto* self = static_cast<MessageWindow*>(data);
        if (self->onClose_) self->Finish(*self->onClose_);
    }

    std::string text_;
    std::vector<Choice> choices_;
    std::optional<Answer> onClose_;
    Answer answer_ = Answer::Cancel;
    std::unique_ptr<Fl_Double_Window> window_;
};

}  // namespace

Answer RunMessageBox(const std::string& title, const std::string& text, Icon icon,
                     Buttons buttons) {
    return MessageWindow(title, text, icon, buttons).Run();
}

}  // namespace ui::fltk
