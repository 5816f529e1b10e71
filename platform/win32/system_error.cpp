#include "platform/win32/system_error.h"

#include <cwctype>
#include <memory>

#include "platform/win32/wide.h"

namespace platform::win32 {
namespace {

struct LocalFreer {
    void operator()(wchar_t* memory) const { LocalFree(memory); }
};

}  // namespace

std::string SystemErrorText(DWORD code) {
    wchar_t* buffer = nullptr;
    DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::unique_ptr<wchar_t, LocalFreer> text(buffer);
    if (length == 0) return "Error " + std::to_string(code);
    std::wstring message(text.get(), length);
    // The texts end in a line break.
    while (!message.empty() && std::iswspace(message.back())) message.pop_back();
    return Narrow(message);
}

}  // namespace platform::win32
