#include "ui/win32/interface_thread.h"

namespace ui::win32 {
namespace {

constexpr wchar_t kClassName[] = L"StickforgeInterfaceThread";
constexpr UINT kRunMessage = WM_APP + 1;

void RegisterClassOnce(HINSTANCE instance, WNDPROC procedure) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kClassName;
    RegisterClassExW(&windowClass);  // fails harmlessly when already registered
}

}  // namespace

InterfaceThread::InterfaceThread() : threadId_(GetCurrentThreadId()) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    RegisterClassOnce(instance, Procedure);
    window_.reset(CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  instance, nullptr));
}

void InterfaceThread::Send(const std::function<void()>& work) {
    // SendMessage returns only when the interface thread has run the work.
    SendMessageW(window_.get(), kRunMessage, 0, reinterpret_cast<LPARAM>(&work));
}

LRESULT CALLBACK InterfaceThread::Procedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
    if (message != kRunMessage) return DefWindowProcW(window, message, wParam, lParam);
    (*reinterpret_cast<const std::function<void()>*>(lParam))();
    return 0;
}

}  // namespace ui::win32
