// The drawing area of the status line: a child window that shows the latest status
// drawing (button-face background, green bar, black text) and repaints it on demand.
#pragma once

#include <optional>

#include "ui/win32/win32.h"

namespace ui::win32 {

class StatusArea {
public:
    static constexpr wchar_t kClassName[] = L"StickforgeStatusArea";
    static void Register(HINSTANCE instance);

    // Text is drawn with font, which must outlive the window.
    explicit StatusArea(HFONT font) : font_(font) {}

    // Keeps the drawing and shows it at once. The window's creation parameter is this object.
    void Show(HWND window, const StatusPaint& paint);

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Paint(HWND window) const;
    void Draw(HDC dc, const RECT& client) const;

    HFONT font_;
    std::optional<StatusPaint> paint_;
};

}  // namespace ui::win32
