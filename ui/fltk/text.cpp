#include "ui/fltk/text.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>

namespace ui::fltk {
namespace {

constexpr int kTabWidth = 8;

void DrawPlain(const Fl_Label* label, int x, int y, int w, int h, Fl_Align align) {
    fl_font(label->font, label->size);
    fl_color(label->color);
    fl_draw(label->value, x, y, w, h, align, label->image, 0);
}

void MeasurePlain(const Fl_Label* label, int& w, int& h) {
    fl_font(label->font, label->size);
    fl_measure(label->value, w, h, 0);
}

}  // namespace

void RegisterPlainLabel() { Fl::set_labeltype(kPlainLabel, DrawPlain, MeasurePlain); }

std::string DisplayText(const std::string& text) {
    std::string shown;
    size_t column = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        if (c == '\r' || c == '\n') {
            shown += '\n';
            column = 0;
        } else if (c == '\t') {
            do shown += ' ';
            while (++column % kTabWidth != 0);
        } else {
            shown += c;
            ++column;
        }
    }
    return shown;
}

std::string EscapeAmpersands(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        if (c == '&') escaped += '&';
        escaped += c;
    }
    return escaped;
}

}  // namespace ui::fltk
