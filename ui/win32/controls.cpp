// Creating controls and reading or changing their text, state and place.

#include "platform/win32/wide.h"
#include "ui/win32/pictures.h"
#include "ui/win32/win32_toolkit.h"

namespace ui::win32 {
namespace {

// Height of the drop-down part of a combo box, below the height it has when closed.
constexpr int kComboListHeight = 200;

struct ControlClass {
    const wchar_t* name;
    DWORD style;
    DWORD exStyle = 0;
};

ControlClass ClassOf(ControlKind kind, const ControlStyle& style) {
    switch (kind) {
        case ControlKind::GroupFrame:
            return {L"BUTTON", BS_GROUPBOX};
        case ControlKind::TreeView:
            return {
                WC_TREEVIEWW,
                TVS_HASLINES | TVS_HASBUTTONS | TVS_LINESATROOT | TVS_SHOWSELALWAYS | WS_TABSTOP,
                WS_EX_CLIENTEDGE};
        case ControlKind::DrawingArea:
            return {StatusArea::kClassName, 0};
        case ControlKind::Button:
            return {L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP};
        case ControlKind::LinkLabel:
            return {L"STATIC", SS_NOTIFY | SS_LEFTNOWORDWRAP};  // one line, clipped
        case ControlKind::Text:
            return {L"STATIC", SS_LEFT};
        case ControlKind::CenteredText:
            return {L"STATIC", SS_CENTER};
        case ControlKind::Image:
            return {L"STATIC", SS_BITMAP};
        case ControlKind::CheckBox:
            return {L"BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP};
        case ControlKind::OptionButton:
            return {L"BUTTON", BS_AUTORADIOBUTTON | (style.optionGroupStart ? WS_TABSTOP : 0u)};
        case ControlKind::ComboBox:
            return {WC_COMBOBOXW, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP};
        case ControlKind::EditBox:
            if (style.multiLine)
                return {WC_EDITW, ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL,
                        WS_EX_CLIENTEDGE};
            return {WC_EDITW,
                    ES_AUTOHSCROLL | WS_TABSTOP | (style.digitsOnly ? ES_NUMBER : 0u) |
                        (style.centred ? ES_CENTER : 0u),
                    WS_EX_CLIENTEDGE};
        case ControlKind::ListBox:
            return {WC_LISTBOXW, LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP,
                    WS_EX_CLIENTEDGE};
    }
    return {L"STATIC", 0};
}

// Every control except a continuing option button starts a group, so automatic option
// buttons only ever clear the others of their own group.
DWORD GroupStyle(ControlKind kind, const ControlStyle& style) {
    return kind == ControlKind::OptionButton && !style.optionGroupStart ? 0 : WS_GROUP;
}

bool IsCheckable(ControlKind kind) {
    return kind == ControlKind::CheckBox || kind == ControlKind::OptionButton;
}

bool HoldsItems(ControlKind kind) {
    return kind == ControlKind::TreeView || kind == ControlKind::ListBox ||
           kind == ControlKind::ComboBox;
}

HWND CreateControlWindow(HWND parent, int id, ControlKind kind, Rect rect, const std::string& text,
                         const ControlStyle& style, void* parameter) {
    ControlClass type = ClassOf(kind, style);
    DWORD common =
        WS_CHILD | WS_VISIBLE | GroupStyle(kind, style) | (style.disabled ? WS_DISABLED : 0u);
    int height = kind == ControlKind::ComboBox ? rect.h + kComboListHeight : rect.h;
    return CreateWindowExW(type.exStyle, type.name, platform::Widen(text).c_str(),
                           type.style | common, rect.x, rect.y, rect.w, height, parent,
                           reinterpret_cast<HMENU>(INT_PTR(id)), GetModuleHandleW(nullptr),
                           parameter);
}

std::string WindowText(HWND window) {
    std::wstring text(GetWindowTextLengthW(window) + 1, L'\0');
    text.resize(GetWindowTextW(window, text.data(), int(text.size())));
    return platform::Narrow(text);
}

}  // namespace

void Win32Toolkit::CreateControl(int window, int id, ControlKind kind, Rect rect,
                                 const std::string& text, const std::string& toolTip,
                                 const ControlStyle& style) {
    thread_->Call([&] { Create(window, id, kind, rect, text, toolTip, style); });
}

void Win32Toolkit::Create(int window, int id, ControlKind kind, Rect rect, const std::string& text,
                          const std::string& toolTip, const ControlStyle& style) {
    WindowEntry* parent = WindowOf(window);
    if (!parent) return;
    if (ControlEntry* previous = ControlOf(id)) DestroyWindow(previous->handle);
    ControlEntry& entry = controls_[id];
    entry = {};
    entry.window = window;
    entry.kind = kind;
    entry.textColour = style.textColour;
    if (kind == ControlKind::DrawingArea)
        entry.status = std::make_unique<StatusArea>(DefaultFont());
    entry.handle =
        CreateControlWindow(parent->handle, id, kind, rect, text, style, entry.status.get());
    if (!entry.handle) {
        controls_.erase(id);
        return;
    }
    SendMessageW(entry.handle, WM_SETFONT, WPARAM(DefaultFont()), FALSE);
    Decorate(entry, style);
    AddToolTip(*parent, entry.handle, toolTip);
}

void Win32Toolkit::Decorate(ControlEntry& entry, const ControlStyle& style) {
    switch (entry.kind) {
        case ControlKind::EditBox:
            if (style.maxLength > 0) SendMessageW(entry.handle, EM_LIMITTEXT, style.maxLength, 0);
            break;
        case ControlKind::LinkLabel:
            SetWindowSubclass(entry.handle, LinkProcedure, 0, reinterpret_cast<DWORD_PTR>(&entry));
            break;
        case ControlKind::Image:
            if (auto image = images_.find(style.image); image != images_.end()) {
                entry.picture = OpaquePicture(image->second, GetSysColor(COLOR_BTNFACE));
                SendMessageW(entry.handle, STM_SETIMAGE, IMAGE_BITMAP,
                             reinterpret_cast<LPARAM>(entry.picture.get()));
            }
            break;
        default:
            break;
    }
}

void Win32Toolkit::AddToolTip(WindowEntry& window, HWND control, const std::string& text) {
    if (text.empty()) return;
    if (!window.toolTips)
        window.toolTips = CreateWindowExW(
            WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window.handle, nullptr,
            GetModuleHandleW(nullptr), nullptr);
    std::wstring wide = platform::Widen(text);
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = window.handle;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = wide.data();  // copied by the tool tip control
    SendMessageW(window.toolTips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void Win32Toolkit::SetText(int id, const std::string& text) {
    thread_->Call([&] {
        if (ControlEntry* entry = ControlOf(id)) SetControlText(*entry, text);
    });
}

void Win32Toolkit::SetControlText(ControlEntry& entry, const std::string& text) {
    if (entry.kind == ControlKind::ComboBox) {
        // A drop-down list only shows its items: pick the one with this text, if any.
        for (size_t i = 0; i < entry.items.size(); ++i)
            if (entry.items[i].first == text) {
                Select(entry, int(i));
                break;
            }
        return;
    }
    settingText_ = true;
    SetWindowTextW(entry.handle, platform::Widen(text).c_str());
    settingText_ = false;
}

std::string Win32Toolkit::GetText(int id) const {
    return thread_->Call([&] {
        const ControlEntry* entry = ControlOf(id);
        if (!entry) return std::string();
        if (!HoldsItems(entry->kind)) return WindowText(entry->handle);
        return ItemText(id, Selected(*entry));
    });
}

void Win32Toolkit::SetState(int id, int state) {
    thread_->Call([&] {
        const ControlEntry* entry = ControlOf(id);
        if (entry && IsCheckable(entry->kind))
            SendMessageW(entry->handle, BM_SETCHECK, state ? BST_CHECKED : BST_UNCHECKED, 0);
    });
}

int Win32Toolkit::GetState(int id) const {
    return thread_->Call([&] {
        const ControlEntry* entry = ControlOf(id);
        if (!entry || !IsCheckable(entry->kind)) return 0;
        return SendMessageW(entry->handle, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
    });
}

void Win32Toolkit::EnableControl(int id, bool enable) {
    thread_->Call([&] {
        if (const ControlEntry* entry = ControlOf(id)) ::EnableWindow(entry->handle, enable);
    });
}

bool Win32Toolkit::ControlEnabled(int id) const {
    return thread_->Call([&] {
        const ControlEntry* entry = ControlOf(id);
        return entry && IsWindowEnabled(entry->handle);
    });
}

Rect Win32Toolkit::ControlScreenRect(int id) const {
    return thread_->Call([&] {
        RECT frame{};
        if (const ControlEntry* entry = ControlOf(id)) GetWindowRect(entry->handle, &frame);
        return FromWin32(frame);
    });
}

Size Win32Toolkit::ControlSize(int id) const {
    Rect frame = ControlScreenRect(id);
    return {frame.w, frame.h};
}

ControlEntry* Win32Toolkit::ControlOf(int id) {
    auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : &it->second;
}

const ControlEntry* Win32Toolkit::ControlOf(int id) const {
    auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : &it->second;
}

// The control only when it is this very window: notifications carry both.
const ControlEntry* Win32Toolkit::ControlOf(int id, HWND handle) const {
    const ControlEntry* entry = ControlOf(id);
    return entry && entry->handle == handle ? entry : nullptr;
}

}  // namespace ui::win32
