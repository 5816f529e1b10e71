#include "ui/win32/win32_toolkit.h"

#include "platform/win32/wide.h"
#include "ui/native.h"
#include "ui/win32/resource_ids.h"

namespace ui {

std::unique_ptr<Toolkit> CreateNativeToolkit() { return std::make_unique<win32::Win32Toolkit>(); }

}  // namespace ui

namespace ui::win32 {
namespace {

// A minimised window is parked far off the desktop (-32000); its place is where it shows
// when restored. The placement counts from the work area, the frame from the screen.
RECT RestoredFrame(HWND window) {
    RECT frame{};
    GetWindowRect(window, &frame);
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    if (!IsIconic(window) || !GetWindowPlacement(window, &placement)) return frame;
    RECT normal = placement.rcNormalPosition;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (GetMonitorInfoW(MonitorFromRect(&normal, MONITOR_DEFAULTTOPRIMARY), &monitor))
        OffsetRect(&normal, monitor.rcWork.left - monitor.rcMonitor.left,
                   monitor.rcWork.top - monitor.rcMonitor.top);
    return normal;
}

constexpr wchar_t kWindowClass[] = L"StickforgeWindow";

DWORD StyleOf(WindowStyle style) {
    if (style == WindowStyle::Main) return WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    return WS_CAPTION | WS_SYSMENU;
}

HICON ProgramIcon(HINSTANCE instance, int widthMetric, int heightMetric) {
    // Shared: the system keeps it, nobody destroys it. Null when the program carries none.
    return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(STICKFORGE_PROGRAM_ICON),
                                         IMAGE_ICON, GetSystemMetrics(widthMetric),
                                         GetSystemMetrics(heightMetric), LR_SHARED));
}

void RegisterWindowClass(HINSTANCE instance, WNDPROC procedure) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.hIcon = ProgramIcon(instance, SM_CXICON, SM_CYICON);
    windowClass.hIconSm = ProgramIcon(instance, SM_CXSMICON, SM_CYSMICON);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassExW(&windowClass);
}

}  // namespace

Win32Toolkit::Win32Toolkit() : thread_(std::make_shared<InterfaceThread>()) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    RegisterWindowClass(instance, WindowProcedure);
    StatusArea::Register(instance);
}

// Windows belong to the interface thread; elsewhere they end with it.
Win32Toolkit::~Win32Toolkit() {
    if (thread_->IsCurrent()) DestroyAllWindows();
}

void Win32Toolkit::Shutdown() {
    if (!thread_->IsCurrent()) return;
    thread_->Close();
    DestroyAllWindows();
}

void Win32Toolkit::DestroyAllWindows() {
    // A destroyed window leaves the tables from its WM_NCDESTROY.
    while (!windows_.empty()) {
        auto first = windows_.begin();
        if (!DestroyWindow(first->second.handle)) Forget(first->first);
    }
}

bool Win32Toolkit::SetDefaultFont(const std::string& face, int points) {
    return thread_->Call([&] {
        ScreenDc screen;
        int height = -MulDiv(points, GetDeviceCaps(screen.get(), LOGPIXELSY), 72);
        Font font(CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                              OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                              DEFAULT_PITCH | FF_DONTCARE, platform::Widen(face).c_str()));
        if (!font) return false;
        fonts_.push_back(std::move(font));
        return true;
    });
}

HFONT Win32Toolkit::DefaultFont() const {
    if (fonts_.empty()) return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    return fonts_.back().get();
}

void Win32Toolkit::RegisterImage(int number, const Image& image) {
    thread_->Call([&] { images_[number] = image; });
}

bool Win32Toolkit::OpenWindow(const WindowSpec& spec) {
    return thread_->Call([&] { return Open(spec); });
}

bool Win32Toolkit::Open(const WindowSpec& spec) {
    if (windows_.count(spec.id)) return false;
    WindowEntry& entry = windows_[spec.id];
    entry.toolkit = this;
    entry.id = spec.id;
    entry.client = spec.client;
    entry.style = StyleOf(spec.style);
    entry.main = spec.style == WindowStyle::Main;
    RECT frame = InitialFrame(spec, entry.style);
    // Dialogs belong to the main window: they stay in front of it and share its taskbar button.
    HWND owner = entry.main ? nullptr : MainHandle();
    // Shown by the next event wait, once its controls are in place.
    HWND handle =
        CreateWindowExW(0, kWindowClass, platform::Widen(spec.title).c_str(), entry.style,
                        frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top,
                        owner, nullptr, GetModuleHandleW(nullptr), &entry);
    if (!handle) windows_.erase(spec.id);
    return handle != nullptr;
}

RECT Win32Toolkit::InitialFrame(const WindowSpec& spec, DWORD style) const {
    RECT frame{0, 0, spec.client.w, spec.client.h};
    AdjustWindowRectEx(&frame, style, spec.style == WindowStyle::Main, 0);
    int width = frame.right - frame.left, height = frame.bottom - frame.top;
    POINT at;
    if (spec.position) {
        at = {spec.position->x, spec.position->y};
    } else {
        RECT area = CentringArea(spec.parent);
        at = {area.left + (area.right - area.left - width) / 2,
              area.top + (area.bottom - area.top - height) / 2};
    }
    return {at.x, at.y, at.x + width, at.y + height};
}

RECT Win32Toolkit::CentringArea(int parent) const {
    RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (HWND handle = WindowHandle(parent)) GetWindowRect(handle, &area);
    return area;
}

// Keeps the client area at its given size whatever the menu bar takes.
void Win32Toolkit::FitClient(const WindowEntry& entry) const {
    RECT frame, client;
    GetWindowRect(entry.handle, &frame);
    GetClientRect(entry.handle, &client);
    int width = frame.right - frame.left + entry.client.w - client.right;
    int height = frame.bottom - frame.top + entry.client.h - client.bottom;
    SetWindowPos(entry.handle, nullptr, 0, 0, width, height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Toolkit::ShowPendingWindows() {
    // Showing may run calls sent by other threads meanwhile, which may close windows.
    std::vector<int> pending;
    for (const auto& [id, entry] : windows_)
        if (!entry.shown) pending.push_back(id);
    for (int id : pending)
        if (WindowEntry* entry = WindowOf(id); entry && !entry->shown) Show(*entry);
}

void Win32Toolkit::Show(WindowEntry& entry) {
    entry.shown = true;
    HWND handle = entry.handle;
    ShowWindow(handle, SW_SHOW);
    UpdateWindow(handle);
}

void Win32Toolkit::CloseWindow(int window) {
    thread_->Call([&] {
        if (WindowEntry* entry = WindowOf(window)) DestroyWindow(entry->handle);
    });
}

void Win32Toolkit::Forget(int window) {
    std::erase_if(controls_, [&](const auto& control) { return control.second.window == window; });
    ForgetMenus(window);
    windows_.erase(window);
}

bool Win32Toolkit::WindowExists(int window) const {
    return thread_->Call([&] { return windows_.count(window) != 0; });
}

void Win32Toolkit::EnableWindow(int window, bool enable) {
    thread_->Call([&] {
        if (HWND handle = WindowHandle(window)) ::EnableWindow(handle, enable);
    });
}

void Win32Toolkit::ActivateWindow(int window) {
    thread_->Call([&] {
        WindowEntry* entry = WindowOf(window);
        if (!entry) return;
        HWND handle = entry->handle;
        if (!entry->shown) Show(*entry);
        SetForegroundWindow(handle);
    });
}

Rect Win32Toolkit::WindowFrame(int window) const {
    return thread_->Call([&] {
        HWND handle = WindowHandle(window);
        return handle ? FromWin32(RestoredFrame(handle)) : Rect{};
    });
}

void Win32Toolkit::MoveWindow(int window, int x, int y) {
    thread_->Call([&] {
        if (HWND handle = WindowHandle(window))
            SetWindowPos(handle, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    });
}

void Win32Toolkit::SetWindowTitle(int window, const std::string& title) {
    thread_->Call([&] {
        if (HWND handle = WindowHandle(window))
            SetWindowTextW(handle, platform::Widen(title).c_str());
    });
}

Size Win32Toolkit::DesktopSize() const {
    return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

WindowEntry* Win32Toolkit::WindowOf(int window) {
    auto it = windows_.find(window);
    return it == windows_.end() ? nullptr : &it->second;
}

HWND Win32Toolkit::WindowHandle(int window) const {
    auto it = windows_.find(window);
    return it == windows_.end() ? nullptr : it->second.handle;
}

HWND Win32Toolkit::MainHandle() const {
    for (const auto& [id, entry] : windows_)
        if (entry.main) return entry.handle;
    return nullptr;
}

}  // namespace ui::win32
