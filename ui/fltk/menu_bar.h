// The menu bar of a window: titles with pull-down items, icons beside the items.
#pragma once

#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_RGB_Image.H>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/fltk/images.h"
#include "ui/toolkit.h"

namespace ui::fltk {

class MenuBar : public Fl_Menu_Bar {
public:
    MenuBar(int width, int height, const std::vector<Menu>& menus, const ImageStore& images);
    ~MenuBar() override;

    bool SetTitle(int menu, const std::string& title);  // false when the menu is not here
    bool Enable(int item, bool enable);                 // false when the item is not here

private:
    static void OnPick(Fl_Widget* widget, void*);
    void AddMenu(const Menu& menu, const ImageStore& images);
    void AddItem(const MenuItem& item, Fl_Image* icon);
    Fl_Menu_Item& AddEntry(const std::string& text);
    void AddEnd();

    // Fixed capacity: FLTK and the icon table point into these.
    std::vector<Fl_Menu_Item> items_;
    std::vector<std::string> texts_;
    std::unique_ptr<Fl_RGB_Image> blank_;  // keeps text aligned beside items without an icon
    std::map<int, size_t> titles_;
    std::map<int, size_t> entries_;
};

}  // namespace ui::fltk
