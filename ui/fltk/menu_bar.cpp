#include "ui/fltk/menu_bar.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <algorithm>

#include "ui/fltk/app_window.h"
#include "ui/fltk/text.h"

namespace ui::fltk {
namespace {

constexpr int kIconSize = 16;
constexpr int kIconGap = 6;

// FLTK finds an item's '&' letter in its text, so the text must stay a plain string;
// the icon to draw beside it is looked up by that string. Used under the FLTK lock.
// Never destroyed: menu bars may outlive static destruction.
std::map<const char*, Fl_Image*>& IconsByText() {
    static auto& icons = *new std::map<const char*, Fl_Image*>();
    return icons;
}

Fl_Image* IconOf(const Fl_Label* label) {
    auto it = IconsByText().find(label->value);
    return it == IconsByText().end() ? nullptr : it->second;
}

void DrawIconLabel(const Fl_Label* label, int x, int y, int w, int h, Fl_Align align) {
    int indent = 0;
    if (Fl_Image* icon = IconOf(label)) {
        icon->draw(x, y + (h - icon->h()) / 2);
        indent = icon->w() + kIconGap;
    }
    fl_font(label->font, label->size);
    fl_color(label->color);
    fl_draw(label->value, x + indent, y, std::max(0, w - indent), h, align, nullptr, 0);
}

void MeasureIconLabel(const Fl_Label* label, int& w, int& h) {
    fl_font(label->font, label->size);
    fl_measure(label->value, w, h, 0);
    if (Fl_Image* icon = IconOf(label)) {
        w += icon->w() + kIconGap;
        h = std::max(h, icon->h());
    }
}

size_t EntryCount(const std::vector<Menu>& menus) {
    size_t count = 1;  // end of the bar
    for (const Menu& menu : menus) count += menu.items.empty() ? 1 : menu.items.size() + 2;
    return count;
}

bool HasIcons(const Menu& menu, const ImageStore& images) {
    return std::any_of(menu.items.begin(), menu.items.end(),
                       [&](const MenuItem& item) { return images.Find(item.icon) != nullptr; });
}

}  // namespace

MenuBar::MenuBar(int width, int height, const std::vector<Menu>& menus, const ImageStore& images)
    : Fl_Menu_Bar(0, 0, width, height), blank_(ToFltkImage({kIconSize, kIconSize, {}})) {
    Fl::set_labeltype(kIconMenuLabel, DrawIconLabel, MeasureIconLabel);
    box(FL_FLAT_BOX);
    items_.reserve(EntryCount(menus));
    texts_.reserve(items_.capacity());
    for (const Menu& menu : menus) AddMenu(menu, images);
    AddEnd();
    menu(items_.data());
    callback(OnPick);
}

MenuBar::~MenuBar() {
    for (const auto& [id, index] : entries_) IconsByText().erase(texts_[index].c_str());
}

Fl_Menu_Item& MenuBar::AddEntry(const std::string& text) {
    texts_.push_back(text);
    Fl_Menu_Item& entry = items_.emplace_back();
    entry.text = texts_.back().c_str();
    entry.labeltype_ = kPlainLabel;
    return entry;
}

void MenuBar::AddEnd() {
    texts_.emplace_back();
    items_.emplace_back();  // a null text ends a list
}

void MenuBar::AddMenu(const Menu& menu, const ImageStore& images) {
    titles_[menu.id] = items_.size();
    Fl_Menu_Item& title = AddEntry(menu.title);
    if (menu.items.empty()) return;  // a title that only shows text
    title.flags = FL_SUBMENU;
    bool icons = HasIcons(menu, images);
    for (const MenuItem& item : menu.items) {
        Fl_Image* icon = images.Find(item.icon);
        AddItem(item, icons && !icon ? blank_.get() : icon);
    }
    AddEnd();
}

void MenuBar::AddItem(const MenuItem& item, Fl_Image* icon) {
    if (item.id == 0) {  // a separator is a line under the item before it
        if (!(items_.back().flags & FL_SUBMENU)) items_.back().flags |= FL_MENU_DIVIDER;
        return;
    }
    entries_[item.id] = items_.size();
    Fl_Menu_Item& entry = AddEntry(item.text);
    entry.user_data_ = ControlData(item.id);
    if (!icon) return;
    entry.labeltype_ = kIconMenuLabel;
    IconsByText()[entry.text] = icon;
}

bool MenuBar::SetTitle(int menu, const std::string& title) {
    auto it = titles_.find(menu);
    if (it == titles_.end()) return false;
    texts_[it->second] = title;
    items_[it->second].text = texts_[it->second].c_str();
    redraw();
    return true;
}

bool MenuBar::Enable(int item, bool enable) {
    auto it = entries_.find(item);
    if (it == entries_.end()) return false;
    if (enable)
        items_[it->second].activate();
    else
        items_[it->second].deactivate();
    return true;
}

void MenuBar::OnPick(Fl_Widget* widget, void*) {
    auto* bar = static_cast<MenuBar*>(widget);
    const Fl_Menu_Item* item = bar->mvalue();
    if (item && item->argument())
        static_cast<AppWindow*>(bar->window())->Post(EventKind::Menu, int(item->argument()));
}

}  // namespace ui::fltk
