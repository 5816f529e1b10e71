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
    SetWindowLongPtrW(window_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

// SendMessage returns only when the interface thread has handled the message, and at
// once when the window is gone.
void InterfaceThread::Send(const std::function<void()>& work) {
    if (closed_) return;
    SendMessageW(window_.get(), kRunMessage, 0, reinterpret_cast<LPARAM>(&work));
}

// Messages sent before the close are handled now, without their work: one look at the
// queue handles every sent message waiting in it.
void InterfaceThread::Close() {
    closed_ = true;
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

LRESULT CALLBACK InterfaceThread::Procedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
    if (message != kRunMessage) return DefWindowProcW(window, message, wParam, lParam);
    auto* thread = reinterpret_cast<InterfaceThread*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (thread && !thread->closed_) (*reinterpret_cast<const std::function<void()>*>(lParam))();
    return 0;
}

}  // namespace ui::win32
