// Menu bars: titles with item lists, item icons, a title that is an item of its own.
#include "platform/win32/wide.h"
#include "ui/win32/pictures.h"
#include "ui/win32/win32_toolkit.h"

namespace ui::win32 {
namespace {

constexpr int kMenuIconSize = 16;

}  // namespace

void Win32Toolkit::SetMenuBar(int window, const std::vector<Menu>& menus) {
    thread_->Call([&] {
        if (WindowEntry* entry = WindowOf(window)) BuildMenuBar(*entry, menus);
    });
}

void Win32Toolkit::BuildMenuBar(WindowEntry& entry, const std::vector<Menu>& menus) {
    MenuHandle bar(CreateMenu());
    if (!bar) return;
    ForgetMenus(entry.id);
    std::vector<Bitmap> oldPictures = std::move(entry.menuPictures);  // freed after the old menu
    entry.menuPictures.clear();
    for (const Menu& menu : menus) AddMenu(bar.get(), menu, entry);
    MenuHandle oldBar(GetMenu(entry.handle));
    SetMenu(entry.handle, bar.release());
    FitClient(entry);
}

void Win32Toolkit::AddMenu(HMENU bar, const Menu& menu, WindowEntry& entry) {
    menuTitles_[menu.id] = {entry.id, UINT(GetMenuItemCount(bar))};
    std::wstring title = platform::Widen(menu.title);
    // A title without items is an entry of the bar itself and opens nothing.
    if (menu.items.empty()) {
        AppendMenuW(bar, MF_STRING, menu.id, title.c_str());
        return;
    }
    MenuHandle popup(CreatePopupMenu());
    for (const MenuItem& item : menu.items) AddMenuItem(popup.get(), item, entry);
    if (AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup.get()), title.c_str()))
        popup.release();  // the bar owns it now
}

void Win32Toolkit::AddMenuItem(HMENU popup, const MenuItem& item, WindowEntry& entry) {
    if (item.id == 0) {
        AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
        return;
    }
    AppendMenuW(popup, MF_STRING, item.id, platform::Widen(item.text).c_str());
    menuItems_[item.id] = entry.id;
    auto image = images_.find(item.icon);
    if (image == images_.end()) return;
    Bitmap picture = MenuPicture(image->second, kMenuIconSize);
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_BITMAP;
    info.hbmpItem = picture.get();
    if (SetMenuItemInfoW(popup, item.id, FALSE, &info))
        entry.menuPictures.push_back(std::move(picture));
}

void Win32Toolkit::ForgetMenus(int window) {
    std::erase_if(menuTitles_, [&](const auto& title) { return title.second.window == window; });
    std::erase_if(menuItems_, [&](const auto& item) { return item.second == window; });
}

WindowEntry* Win32Toolkit::MenuOwner(int id) {
    if (auto item = menuItems_.find(id); item != menuItems_.end()) return WindowOf(item->second);
    if (auto title = menuTitles_.find(id); title != menuTitles_.end())
        return WindowOf(title->second.window);
    return nullptr;
}

void Win32Toolkit::SetMenuTitle(int menu, const std::string& title) {
    thread_->Call([&] {
        auto found = menuTitles_.find(menu);
        WindowEntry* entry = MenuOwner(menu);
        if (found == menuTitles_.end() || !entry) return;
        std::wstring text = platform::Widen(title);
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_STRING;
        info.dwTypeData = text.data();
        SetMenuItemInfoW(GetMenu(entry->handle), found->second.position, TRUE, &info);
        DrawMenuBar(entry->handle);
        FitClient(*entry);  // a longer title may wrap the bar onto a second line
    });
}

void Win32Toolkit::EnableMenuItem(int item, bool enable) {
    thread_->Call([&] {
        WindowEntry* entry = MenuOwner(item);
        if (!entry) return;
        ::EnableMenuItem(GetMenu(entry->handle), item,
                         MF_BYCOMMAND | (enable ? MF_ENABLED : MF_GRAYED));
        DrawMenuBar(entry->handle);
    });
}

}  // namespace ui::win32
