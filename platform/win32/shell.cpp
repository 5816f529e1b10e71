#include "platform/shell.h"

#include <windows.h>
// The shell headers build on the types above.
#include <objbase.h>
#include <shellapi.h>

#include "platform/win32/wide.h"

namespace platform {
namespace {

// Shell extensions behind ShellExecuteEx expect COM on the calling thread. A thread that
// already has it in another mode keeps it and is not uninitialised here.
class ComScope {
public:
    ComScope()
        : initialised_(SUCCEEDED(
              CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}
    ~ComScope() {
        if (initialised_) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    bool initialised_;
};

}  // namespace

bool ShellOpen(const std::string& target) {
    ComScope com;
    std::wstring file = Widen(target);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    // Worker threads may end right after the call: finish the hand-off before returning.
    info.fMask = SEE_MASK_NOASYNC;
    info.lpVerb = L"open";
    info.lpFile = file.c_str();
    info.nShow = SW_SHOWNORMAL;
    return ShellExecuteExW(&info) != FALSE;
}

}  // namespace platform
