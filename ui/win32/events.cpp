// The window procedure of the program's windows and the event wait.

#include <algorithm>

#include "ui/win32/win32_toolkit.h"

namespace ui::win32 {
namespace {

constexpr COLORREF kLinkColour = RGB(128, 128, 128);
constexpr COLORREF kLinkHoverColour = RGB(0, 0, 255);

// What a notification from a control of this kind means to the program, if anything.
std::optional<EventKind> EventFor(ControlKind kind, int code) {
    switch (kind) {
        case ControlKind::Button:
        case ControlKind::CheckBox:
        case ControlKind::OptionButton:
            if (code == BN_CLICKED) return EventKind::Control;
            break;
        case ControlKind::LinkLabel:
            if (code == STN_CLICKED) return EventKind::LeftClick;
            break;
        case ControlKind::ComboBox:
            if (code == CBN_SELCHANGE) return EventKind::Control;
            break;
        case ControlKind::EditBox:
            if (code == EN_CHANGE) return EventKind::Control;
            break;
        case ControlKind::ListBox:
            if (code == LBN_SELCHANGE) return EventKind::Control;
            break;
        default:
            break;
    }
    return std::nullopt;
}

void SetHovered(HWND link, ControlEntry& entry, bool hovered) {
    entry.hovered = hovered;
    InvalidateRect(link, nullptr, TRUE);
}

}  // namespace

LRESULT CALLBACK Win32Toolkit::WindowProcedure(HWND window, UINT message, WPARAM wParam,
                                               LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* entry = static_cast<WindowEntry*>(create->lpCreateParams);
        entry->handle = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(entry));
    }
    auto* entry = reinterpret_cast<WindowEntry*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (entry && message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        entry->toolkit->Forget(entry->id);
    } else if (entry) {
        if (auto result = entry->toolkit->OnMessage(*entry, message, wParam, lParam))
            return *result;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

std::optional<LRESULT> Win32Toolkit::OnMessage(WindowEntry& entry, UINT message, WPARAM wParam,
                                               LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            OnCommand(entry, wParam, lParam);
            return 0;
        case WM_CLOSE:  // the program decides whether and when the window goes
            events_.push_back({EventKind::CloseBox, entry.id, 0});
            return 0;
        case WM_LBUTTONDOWN:
            events_.push_back({EventKind::LeftClick, entry.id, 0});
            return 0;
        case WM_DEVICECHANGE:
            if (entry.main &&
                (wParam == DBT_DEVNODES_CHANGED || wParam == DBT_DEVICEREMOVECOMPLETE))
                events_.push_back({EventKind::DeviceChange, entry.id, 0});
            return TRUE;
        case WM_CTLCOLORSTATIC:
            return TextColours(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    }
    return std::nullopt;
}

void Win32Toolkit::OnCommand(const WindowEntry& entry, WPARAM wParam, LPARAM lParam) {
    int id = LOWORD(wParam), code = HIWORD(wParam);
    if (lParam == 0) {
        // Only menu items: not item-less titles, nor the IDOK/IDCANCEL of the dialog keys.
        if (code == 0 && menuItems_.count(id)) events_.push_back({EventKind::Menu, entry.id, id});
        return;
    }
    const ControlEntry* control = ControlOf(id, reinterpret_cast<HWND>(lParam));
    if (!control || settingText_) return;
    if (auto kind = EventFor(control->kind, code))
        events_.push_back({*kind, control->window, *kind == EventKind::Control ? id : 0});
}

std::optional<LRESULT> Win32Toolkit::TextColours(HDC dc, HWND control) const {
    const ControlEntry* entry = ControlOf(GetDlgCtrlID(control), control);
    if (!entry) return std::nullopt;
    if (entry->kind == ControlKind::LinkLabel) {
        SetTextColor(dc, entry->hovered ? kLinkHoverColour : kLinkColour);
    } else if (entry->textColour >= 0) {
        int rgb = entry->textColour;
        SetTextColor(dc, RGB(rgb >> 16 & 0xFF, rgb >> 8 & 0xFF, rgb & 0xFF));
    } else {
        return std::nullopt;
    }
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

// Link labels turn blue while the pointer is over them and show the hand.
LRESULT CALLBACK Win32Toolkit::LinkProcedure(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam, UINT_PTR id, DWORD_PTR data) {
    auto& entry = *reinterpret_cast<ControlEntry*>(data);
    switch (message) {
        case WM_MOUSEMOVE:
            if (!entry.hovered) {
                TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, window, 0};
                TrackMouseEvent(&track);
                SetHovered(window, entry, true);
            }
            break;
        case WM_MOUSELEAVE:
            SetHovered(window, entry, false);
            break;
        case WM_SETCURSOR:
            SetCursor(LoadCursorW(nullptr, IDC_HAND));
            return TRUE;
        case WM_NCDESTROY:
            RemoveWindowSubclass(window, LinkProcedure, id);
            break;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

std::optional<Event> Win32Toolkit::WaitEvent(int timeoutMs) {
    return thread_->Call([&] { return NextEvent(timeoutMs); });
}

std::optional<Event> Win32Toolkit::NextEvent(int timeoutMs) {
    ShowPendingWindows();
    const ULONGLONG deadline = GetTickCount64() + ULONGLONG(std::max(timeoutMs, 0));
    for (;;) {
        PumpMessages();
        if (!events_.empty()) {
            Event event = events_.front();
            events_.pop_front();
            return event;
        }
        ULONGLONG now = GetTickCount64();
        if (now >= deadline) return std::nullopt;
        MsgWaitForMultipleObjectsEx(0, nullptr, DWORD(deadline - now), QS_ALLINPUT,
                                    MWMO_INPUTAVAILABLE);
    }
}

void Win32Toolkit::PumpMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (IsNavigation(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// Tab, the arrow keys between option buttons and Enter on a button, as in dialogs.
bool Win32Toolkit::IsNavigation(MSG& message) {
    HWND root = GetAncestor(message.hwnd, GA_ROOT);
    if (!root) return false;
    bool ours = std::any_of(windows_.begin(), windows_.end(),
                            [&](const auto& window) { return window.second.handle == root; });
    return ours && IsDialogMessageW(root, &message);
}

std::optional<std::pair<int, int>> Win32Toolkit::CursorPosition() const {
    POINT point;
    if (!GetCursorPos(&point)) return std::nullopt;
    return std::pair{int(point.x), int(point.y)};
}

}  // namespace ui::win32
