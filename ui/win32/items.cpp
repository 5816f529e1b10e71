// Items of tree views, list boxes and combo boxes. The texts and levels are kept here too,
// so items are read back exactly as they were added.

#include <algorithm>

#include "platform/win32/wide.h"
#include "ui/win32/win32_toolkit.h"

namespace ui::win32 {
namespace {

// The item a new tree item of this level hangs under: the last one a level higher.
HTREEITEM TreeParent(const ControlEntry& entry, int level) {
    for (size_t i = entry.items.size(); level > 0 && i-- > 0;) {
        int itemLevel = entry.items[i].second;
        if (itemLevel == level - 1) return entry.treeItems[i];
        if (itemLevel < level - 1) break;
    }
    return TVI_ROOT;
}

bool InRange(const ControlEntry& entry, int index) {
    return index >= 0 && size_t(index) < entry.items.size();
}

}  // namespace

void Win32Toolkit::ClearItems(int id) {
    thread_->Call([&] {
        if (ControlEntry* entry = ControlOf(id)) Clear(*entry);
    });
}

void Win32Toolkit::Clear(ControlEntry& entry) {
    switch (entry.kind) {
        case ControlKind::TreeView:
            SendMessageW(entry.handle, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
            break;
        case ControlKind::ListBox:
            SendMessageW(entry.handle, LB_RESETCONTENT, 0, 0);
            break;
        case ControlKind::ComboBox:
            SendMessageW(entry.handle, CB_RESETCONTENT, 0, 0);
            break;
        default:
            return;
    }
    entry.items.clear();
    entry.treeItems.clear();
}

void Win32Toolkit::AddItem(int id, const std::string& text, int level) {
    thread_->Call([&] {
        if (ControlEntry* entry = ControlOf(id)) Add(*entry, text, level);
    });
}

void Win32Toolkit::Add(ControlEntry& entry, const std::string& text, int level) {
    if (entry.kind == ControlKind::TreeView) {
        AddTreeItem(entry, text, level);
        return;
    }
    UINT message = entry.kind == ControlKind::ListBox    ? LB_ADDSTRING
                   : entry.kind == ControlKind::ComboBox ? CB_ADDSTRING
                                                         : 0;
    if (!message) return;
    std::wstring wide = platform::Widen(text);
    if (SendMessageW(entry.handle, message, 0, reinterpret_cast<LPARAM>(wide.c_str())) < 0) return;
    entry.items.emplace_back(text, level);
}

void Win32Toolkit::AddTreeItem(ControlEntry& entry, const std::string& text, int level) {
    std::wstring wide = platform::Widen(text);
    HTREEITEM parent = TreeParent(entry, level);
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = wide.data();
    auto item = reinterpret_cast<HTREEITEM>(
        SendMessageW(entry.handle, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
    if (!item) return;
    // Partitions stay in view under their disk.
    if (parent != TVI_ROOT)
        SendMessageW(entry.handle, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(parent));
    entry.items.emplace_back(text, level);
    entry.treeItems.push_back(item);
}

int Win32Toolkit::ItemCount(int id) const {
    return thread_->Call([&] {
        const ControlEntry* entry = ControlOf(id);
        return entry ? int(entry->items.size()) : 0;
    });
}

std::string Win32Toolkit::ItemText(int id, int index) const {
    return thread_->Call([&] {
        const ControlEntry* entry = ControlOf(id);
        return entry && InRange(*entry, index) ? entry->items[index].first : std::string();
    });
}

int Win32Toolkit::ItemLevel(int id, int index) const {
    return thread_->Call([&] {
        const ControlEntry* entry = ControlOf(id);
        return entry && InRange(*entry, index) ? entry->items[index].second : 0;
    });
}

void Win32Toolkit::SelectItem(int id, int index) {
    thread_->Call([&] {
        if (ControlEntry* entry = ControlOf(id)) Select(*entry, index);
    });
}

void Win32Toolkit::Select(ControlEntry& entry, int index) {
    bool valid = InRange(entry, index);
    switch (entry.kind) {
        case ControlKind::TreeView:
            SendMessageW(entry.handle, TVM_SELECTITEM, TVGN_CARET,
                         reinterpret_cast<LPARAM>(valid ? entry.treeItems[index] : nullptr));
            break;
        case ControlKind::ListBox:
            SendMessageW(entry.handle, LB_SETCURSEL, valid ? index : -1, 0);
            break;
        case ControlKind::ComboBox:
            SendMessageW(entry.handle, CB_SETCURSEL, valid ? index : -1, 0);
            break;
        default:
            break;
    }
}

int Win32Toolkit::SelectedItem(int id) const {
    return thread_->Call([&] {
        const ControlEntry* entry = ControlOf(id);
        return entry ? Selected(*entry) : -1;
    });
}

int Win32Toolkit::Selected(const ControlEntry& entry) const {
    switch (entry.kind) {
        case ControlKind::TreeView: {
            auto item = reinterpret_cast<HTREEITEM>(
                SendMessageW(entry.handle, TVM_GETNEXTITEM, TVGN_CARET, 0));
            auto found = std::find(entry.treeItems.begin(), entry.treeItems.end(), item);
            return item && found != entry.treeItems.end() ? int(found - entry.treeItems.begin())
                                                          : -1;
        }
        case ControlKind::ListBox:
            return int(SendMessageW(entry.handle, LB_GETCURSEL, 0, 0));
        case ControlKind::ComboBox:
            return int(SendMessageW(entry.handle, CB_GETCURSEL, 0, 0));
        default:
            return -1;
    }
}

}  // namespace ui::win32
