#include "platform/win32/format_service.h"

#include <windows.h>

#include <cstdint>
#include <exception>
#include <utility>

#include "platform/paths.h"
#include "platform/win32/owned_handle.h"
#include "platform/win32/wide.h"

namespace platform::win32 {
namespace {

// FMIFS_MEDIA_TYPE 0, "unknown": the volume exists already, no medium layout is asked for.
constexpr DWORD kMediaUnknown = 0;

using FormatCallback = BOOLEAN(__stdcall*)(DWORD command, DWORD action, PVOID info);
using FormatExFunction = void(__stdcall*)(PWCHAR root, DWORD media, PWCHAR fileSystem, PWCHAR label,
                                          BOOL quick, DWORD clusterSize, FormatCallback callback);

struct ActiveFormat {
    const FormatReport& report;
    std::exception_ptr failure;
};

// The callback carries no context, but the service calls it on the thread that called
// FormatEx: a per-thread pointer finds that call's report, and formats on other threads
// keep their own.
thread_local ActiveFormat* activeFormat = nullptr;

class ActiveFormatScope {
public:
    explicit ActiveFormatScope(ActiveFormat& format)
        : previous_(std::exchange(activeFormat, &format)) {}
    ~ActiveFormatScope() { activeFormat = previous_; }
    ActiveFormatScope(const ActiveFormatScope&) = delete;
    ActiveFormatScope& operator=(const ActiveFormatScope&) = delete;

private:
    ActiveFormat* previous_;
};

// Unwinding through the service's frames is undefined: the exception waits until it returns.
BOOLEAN __stdcall RouteReport(DWORD command, DWORD action, PVOID info) {
    ActiveFormat* format = activeFormat;
    if (!format || format->failure) return FALSE;
    try {
        return format->report(command, action, info) ? TRUE : FALSE;
    } catch (...) {
        format->failure = std::current_exception();
        return FALSE;
    }
}

FormatExFunction FindFormatEx(HMODULE library) {
    // Through the generic function type: GetProcAddress's own type is not the real one.
    return reinterpret_cast<FormatExFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(library, "FormatEx")));
}

}  // namespace

std::wstring SystemFormatLibrary() { return Widen(JoinPath(SystemDirectory(), "fmifs.dll")); }

FormatServiceStatus RunFormatService(const std::wstring& library, const FormatRequest& request,
                                     const FormatReport& report) {
    OwnedLibrary service(LoadLibraryW(library.c_str()));
    if (!service) return FormatServiceStatus::ServiceMissing;
    FormatExFunction formatEx = FindFormatEx(service.get());
    if (!formatEx) {
        const uint8_t success = 0;
        report(kFormatDone, 0, &success);
        return FormatServiceStatus::Ran;
    }
    std::wstring root = Widen(request.letter);
    std::wstring fileSystem = Widen(request.fileSystem);
    std::wstring label = Widen(request.label);
    ActiveFormat format{report, nullptr};
    {
        ActiveFormatScope scope(format);
        formatEx(root.data(), kMediaUnknown, fileSystem.data(), label.data(), request.quick,
                 request.clusterSize, RouteReport);
    }
    if (format.failure) std::rethrow_exception(format.failure);
    return FormatServiceStatus::Ran;
}

}  // namespace platform::win32
