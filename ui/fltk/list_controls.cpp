// Controls holding items: the tree view, combo boxes and list boxes.
#include <FL/Fl_Choice.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Tree.H>

#include <algorithm>
#include <vector>

#undef None  // X11's, pulled in by FLTK; the toolkit has an Icon::None

#include "ui/fltk/app_window.h"
#include "ui/fltk/controls.h"
#include "ui/fltk/text.h"

namespace ui::fltk {
namespace {

// A list's text is its selected item's and its state the selected index.
class ItemList : public Control {
public:
    using Control::Control;

    void SetText(const std::string& text) override {
        for (int i = 0; i < ItemCount(); ++i)
            if (ItemText(i) == text) return SelectItem(i);
    }
    std::string Text() const override { return ItemText(SelectedItem()); }
    void SetState(int state) override { SelectItem(state); }
    int State() const override { return SelectedItem(); }

protected:
    bool Valid(int index) const { return index >= 0 && index < ItemCount(); }
};

// Items are numbered in the order they were added; an item goes under the last one
// added at a smaller level.
class TreeView : public Fl_Tree, public ItemList {
public:
    explicit TreeView(const ControlParams& params)
        : Fl_Tree(params.rect.x, params.rect.y, params.rect.w, params.rect.h), ItemList(this) {
        showroot(0);
        selectmode(FL_TREE_SELECT_SINGLE);
        callback(NotifyControl, ControlData(params.id));
    }

    void ClearItems() override {
        clear_children(root());
        items_.clear();
        levels_.clear();
        redraw();
    }

    void AddItem(const std::string& text, int level) override {
        Fl_Tree_Item* parent = root();
        for (size_t i = items_.size(); i-- > 0;) {
            if (levels_[i] < level) {
                parent = items_[i];
                break;
            }
        }
        items_.push_back(add(parent, text.c_str()));
        levels_.push_back(level);
        redraw();
    }

    int ItemCount() const override { return int(items_.size()); }
    std::string ItemText(int index) const override {
        return Valid(index) ? items_[index]->label() : "";
    }
    int ItemLevel(int index) const override { return Valid(index) ? levels_[index] : 0; }

    void SelectItem(int index) override {
        deselect_all(nullptr, 0);
        if (Valid(index)) select(items_[index], 0);
    }

    int SelectedItem() const override {
        auto* self = const_cast<TreeView*>(this);  // FLTK's query is not const
        auto it = std::find(items_.begin(), items_.end(), self->first_selected_item());
        return it == items_.end() ? -1 : int(it - items_.begin());
    }

private:
    std::vector<Fl_Tree_Item*> items_;
    std::vector<int> levels_;
};

// FLTK's own item adding reads '/' and '&' in texts; the menu is built here instead.
class ComboBox : public Fl_Choice, public ItemList {
public:
    explicit ComboBox(const ControlParams& params)
        : Fl_Choice(params.rect.x, params.rect.y, params.rect.w, params.rect.h), ItemList(this) {
        callback(NotifyControl, ControlData(params.id));
        Rebuild(-1);
    }

    void ClearItems() override {
        texts_.clear();
        Rebuild(-1);
    }

    void AddItem(const std::string& text, int) override {
        texts_.push_back(text);
        Rebuild(SelectedItem());
    }

    int ItemCount() const override { return int(texts_.size()); }
    std::string ItemText(int index) const override { return Valid(index) ? texts_[index] : ""; }

    void SelectItem(int index) override {
        value(Valid(index) ? index : -1);
        redraw();
    }
    int SelectedItem() const override { return value(); }

private:
    void Rebuild(int selected) {
        shown_.clear();
        for (const std::string& text : texts_) shown_.push_back(EscapeAmpersands(text));
        menu_.assign(shown_.size() + 1, Fl_Menu_Item{});
        for (size_t i = 0; i < shown_.size(); ++i) {
            menu_[i].text = shown_[i].c_str();
            menu_[i].labeltype_ = kPlainLabel;
        }
        menu(menu_.data());
        SelectItem(selected);
    }

    std::vector<std::string> texts_;
    std::vector<std::string> shown_;
    std::vector<Fl_Menu_Item> menu_;
};

// Browser lines count from 1; line 0 selects nothing.
class ListBox : public Fl_Hold_Browser, public ItemList {
public:
    explicit ListBox(const ControlParams& params)
        : Fl_Hold_Browser(params.rect.x, params.rect.y, params.rect.w, params.rect.h),
          ItemList(this) {
        format_char(0);  // texts are shown as they are
        callback(NotifyControl, ControlData(params.id));
    }

    void ClearItems() override { clear(); }
    void AddItem(const std::string& text, int) override { add(text.c_str()); }
    int ItemCount() const override { return size(); }
    std::string ItemText(int index) const override { return Valid(index) ? text(index + 1) : ""; }
    void SelectItem(int index) override { value(Valid(index) ? index + 1 : 0); }
    int SelectedItem() const override { return value() - 1; }
};

}  // namespace

Control* MakeListControl(const ControlParams& params) {
    switch (params.kind) {
        case ControlKind::TreeView:
            return new TreeView(params);
        case ControlKind::ComboBox:
            return new ComboBox(params);
        default:
            return new ListBox(params);
    }
}

}  // namespace ui::fltk
