// Text as FLTK should draw it.
#pragma once

#include <FL/Enumerations.H>

#include <string>

namespace ui::fltk {

// A label type that draws its text as given: FLTK's normal one turns '@' into symbols.
constexpr Fl_Labeltype kPlainLabel = FL_FREE_LABELTYPE;
void RegisterPlainLabel();

// Menu items with an icon before the text (see menu_bar.cpp).
constexpr auto kIconMenuLabel = Fl_Labeltype(FL_FREE_LABELTYPE + 1);

// Line breaks reduced to '\n' and tabs expanded: FLTK would show "\r" as "^M".
std::string DisplayText(const std::string& text);

// Doubles '&' so a menu shows it instead of underlining the next letter.
std::string EscapeAmpersands(const std::string& text);

}  // namespace ui::fltk
