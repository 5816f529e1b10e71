#include "tests/win32/format_double.h"

namespace {

using Callback = BOOLEAN(__stdcall*)(DWORD command, DWORD action, PVOID info);

constexpr DWORD kPercents[] = {0, 25, 50, 75, 100};
// Long enough that formats on two threads overlap.
constexpr DWORD kStepMs = 10;

format_double::Arguments last{};
Callback lastCallback = nullptr;

bool ReportRun(Callback callback, DWORD action) {
    for (DWORD percent : kPercents) {
        if (!callback(0, action, &percent)) return false;
        Sleep(kStepMs);
    }
    return callback(format_double::kCreating, action, nullptr);
}

}  // namespace

extern "C" __declspec(dllexport) void __stdcall FormatEx(PWCHAR root, DWORD media,
                                                         PWCHAR fileSystem, PWCHAR label,
                                                         BOOL quick, DWORD clusterSize,
                                                         Callback callback) {
    lstrcpynW(last.root, root, ARRAYSIZE(last.root));
    last.media = media;
    lstrcpynW(last.fileSystem, fileSystem, ARRAYSIZE(last.fileSystem));
    lstrcpynW(last.label, label, ARRAYSIZE(last.label));
    last.quick = quick;
    last.clusterSize = clusterSize;
    lastCallback = callback;
    BOOLEAN success = ReportRun(callback, DWORD(root[0]));
    callback(format_double::kFinished, DWORD(root[0]), &success);
}

extern "C" __declspec(dllexport) const format_double::Arguments* LastArguments() { return &last; }

extern "C" __declspec(dllexport) BOOLEAN CallbackAgain() {
    DWORD percent = 0;
    return lastCallback(0, 0, &percent);
}
