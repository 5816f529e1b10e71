// Controls that only show something: frames, texts, links, the status area and pictures.
#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <memory>

#undef None  // X11's, pulled in by FLTK; the toolkit has an Icon::None

#include "ui/fltk/app_window.h"
#include "ui/fltk/controls.h"
#include "ui/fltk/text.h"

namespace ui::fltk {
namespace {

constexpr int kFrameTitleInset = 8;

// Draws only its frame and title; the controls inside are its siblings, so a frame
// never takes their events. Without a box of its own, FLTK repaints the window behind it
// whenever its title changes.
class GroupFrame : public Fl_Widget, public Control {
public:
    explicit GroupFrame(const ControlParams& params)
        : Fl_Widget(params.rect.x, params.rect.y, params.rect.w, params.rect.h), Control(this) {
        copy_label(params.text.c_str());
    }

    void draw() override {
        fl_font(labelfont(), labelsize());
        int half = fl_height() / 2;
        draw_box(FL_ENGRAVED_FRAME, x(), y() + half, w(), h() - half, color());
        if (!label() || !*label()) return;
        fl_push_clip(x(), y(), w(), h());
        fl_color(window()->color());
        fl_rectf(x() + kFrameTitleInset - 2, y(), int(fl_width(label())) + 4, fl_height());
        fl_color(active_r() ? labelcolor() : fl_inactive(labelcolor()));
        fl_draw(label(), x() + kFrameTitleInset, y() + fl_height() - fl_descent());
        fl_pop_clip();
    }
};

class TextLabel : public Fl_Widget, public Control {
public:
    TextLabel(const ControlParams& params, Fl_Align align)
        : Fl_Widget(params.rect.x, params.rect.y, params.rect.w, params.rect.h),
          Control(this),
          align_(align | FL_ALIGN_INSIDE) {
        if (int rgb = params.style.textColour; rgb >= 0)
            labelcolor(fl_rgb_color(uchar(rgb >> 16), uchar(rgb >> 8), uchar(rgb)));
        SetText(params.text);
    }

    void SetText(const std::string& text) override {
        text_ = text;
        shown_ = DisplayText(text);
        TextChanged();
        redraw_label();  // boxless: the window repaints the background first
    }
    std::string Text() const override { return text_; }

    void draw() override {
        fl_push_clip(x(), y(), w(), h());
        fl_font(labelfont(), labelsize());
        fl_color(active_r() ? TextColour() : fl_inactive(TextColour()));
        fl_draw(shown_.c_str(), x(), y(), w(), h(), align_, nullptr, 0);
        fl_pop_clip();
    }

protected:
    virtual Fl_Color TextColour() const { return labelcolor(); }
    virtual void TextChanged() {}

    int TextWidth() const {
        int width = 0, height = 0;
        fl_font(labelfont(), labelsize());
        fl_measure(shown_.c_str(), width, height, 0);
        return width;
    }

private:
    std::string text_;
    std::string shown_;
    Fl_Align align_;
};

// Clicks reach the window, which reports them; the link only shows where the pointer is.
// A link is one line and grows to show all of it, so every letter can be clicked.
class LinkLabel : public TextLabel {
public:
    explicit LinkLabel(const ControlParams& params) : TextLabel(params, FL_ALIGN_TOP_LEFT) {
        TextChanged();
    }

    int handle(int event) override {
        if (event != FL_ENTER && event != FL_LEAVE) return TextLabel::handle(event);
        hover_ = event == FL_ENTER;
        window()->cursor(hover_ ? FL_CURSOR_HAND : FL_CURSOR_DEFAULT);
        redraw_label();
        return 1;
    }

protected:
    Fl_Color TextColour() const override {
        return hover_ ? fl_rgb_color(0, 0, 255) : fl_rgb_color(128, 128, 128);
    }

    void TextChanged() override {
        if (TextWidth() > w()) size(TextWidth(), h());
    }

private:
    bool hover_ = false;
};

void FillRect(const Rect& rect, int originX, int originY, Fl_Color colour) {
    if (rect.w > 0 && rect.h > 0)
        fl_rectf(originX + rect.x, originY + rect.y, rect.w, rect.h, colour);
}

// Keeps the last status drawing and repeats it whenever FLTK redraws.
class StatusArea : public Fl_Widget, public Control {
public:
    explicit StatusArea(const ControlParams& params)
        : Fl_Widget(params.rect.x, params.rect.y, params.rect.w, params.rect.h), Control(this) {}

    void Paint(const StatusPaint& paint) override {
        paint_ = paint;
        redraw();
    }

    void draw() override {
        fl_push_clip(x(), y(), w(), h());
        fl_rectf(x(), y(), w(), h(), FL_BACKGROUND_COLOR);
        FillRect(paint_.background, x(), y(), FL_BACKGROUND_COLOR);
        FillRect(paint_.bar, x(), y(), fl_rgb_color(0, 255, 0));
        fl_font(labelfont(), labelsize());
        fl_color(FL_BLACK);
        fl_draw(paint_.text.c_str(), x() + paint_.textX,
                y() + paint_.textY + fl_height() - fl_descent());
        fl_pop_clip();
    }

private:
    StatusPaint paint_;
};

// Shows a picture centred, shrunk to fit when it is larger than the control.
class ImageBox : public Fl_Widget, public Control {
public:
    explicit ImageBox(const ControlParams& params)
        : Fl_Widget(params.rect.x, params.rect.y, params.rect.w, params.rect.h),
          Control(this),
          image_(params.image) {
        if (!image_ || (image_->w() <= w() && image_->h() <= h())) return;
        double scale = std::min(double(w()) / image_->w(), double(h()) / image_->h());
        scaled_.reset(image_->copy(int(image_->w() * scale), int(image_->h() * scale)));
        image_ = scaled_.get();
    }

    void draw() override {
        draw_box(FL_FLAT_BOX, color());
        if (image_) image_->draw(x() + (w() - image_->w()) / 2, y() + (h() - image_->h()) / 2);
    }

private:
    Fl_Image* image_;
    std::unique_ptr<Fl_Image> scaled_;
};

}  // namespace

Control* MakeStaticControl(const ControlParams& params) {
    switch (params.kind) {
        case ControlKind::GroupFrame:
            return new GroupFrame(params);
        case ControlKind::DrawingArea:
            return new StatusArea(params);
        case ControlKind::LinkLabel:
            return new LinkLabel(params);
        case ControlKind::CenteredText:
            return new TextLabel(params, FL_ALIGN_TOP | FL_ALIGN_WRAP);
        case ControlKind::Image:
            return new ImageBox(params);
        default:
            return new TextLabel(params, FL_ALIGN_TOP_LEFT | FL_ALIGN_WRAP);
    }
}

}  // namespace ui::fltk
