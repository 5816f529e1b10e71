#include "ui/win32/status_area.h"

#include "platform/win32/wide.h"
#include "ui/win32/handles.h"

namespace ui::win32 {
namespace {

constexpr COLORREF kBarColour = RGB(0, 255, 0);
constexpr COLORREF kTextColour = RGB(0, 0, 0);

RECT ToRect(const Rect& rect) { return {rect.x, rect.y, rect.x + rect.w, rect.y + rect.h}; }

}  // namespace

void StatusArea::Register(HINSTANCE instance) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kClassName;
    RegisterClassExW(&windowClass);
}

void StatusArea::Show(HWND window, const StatusPaint& paint) {
    paint_ = paint;
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
}

LRESULT CALLBACK StatusArea::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* area = reinterpret_cast<const StatusArea*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
        case WM_ERASEBKGND:
            return 1;  // painting covers everything
        case WM_PAINT:
            if (!area) break;
            area->Paint(window);
            return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void StatusArea::Paint(HWND window) const {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT client;
    GetClientRect(window, &client);
    // Drawn off screen first, so quick successive updates do not flicker.
    MemoryDc memory(CreateCompatibleDC(dc));
    Bitmap canvas(CreateCompatibleBitmap(dc, client.right, client.bottom));
    if (memory && canvas) {
        Selection selected(memory.get(), canvas.get());
        Draw(memory.get(), client);
        BitBlt(dc, 0, 0, client.right, client.bottom, memory.get(), 0, 0, SRCCOPY);
    } else {
        Draw(dc, client);
    }
    EndPaint(window, &ps);
}

void StatusArea::Draw(HDC dc, const RECT& client) const {
    HBRUSH face = GetSysColorBrush(COLOR_BTNFACE);
    FillRect(dc, &client, face);
    if (!paint_) return;
    RECT background = ToRect(paint_->background), bar = ToRect(paint_->bar);
    FillRect(dc, &background, face);
    if (paint_->bar.w > 0) {
        Brush green(CreateSolidBrush(kBarColour));
        FillRect(dc, &bar, green.get());
    }
    std::wstring text = platform::Widen(paint_->text);
    Selection font(dc, font_);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kTextColour);
    TextOutW(dc, paint_->textX, paint_->textY, text.c_str(), int(text.size()));
}

}  // namespace ui::win32
