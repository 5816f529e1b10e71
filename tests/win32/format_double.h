// A stand-in for the format service's library in the Win32 format checks. Its FormatEx
// keeps what it was given and reports a run through the callback: percent 0, 25, 50, 75
// and 100 a few milliseconds apart, "creating the file system", then "finished" with
// success. The action of every report is the drive root's first character. After the
// callback answers FALSE only "finished" follows, with failure.
#pragma once

#include <windows.h>

namespace format_double {

inline constexpr DWORD kCreating = 15;
inline constexpr DWORD kFinished = 11;

// The arguments of the last FormatEx call.
struct Arguments {
    wchar_t root[8];
    DWORD media;
    wchar_t fileSystem[16];
    wchar_t label[40];
    BOOL quick;
    DWORD clusterSize;
};

// Exported as "LastArguments".
using LastArgumentsFunction = const Arguments* (*)();
// Exported as "CallbackAgain": the last callback once more with a percent report, as a
// service that kept it past the format would.
using CallbackAgainFunction = BOOLEAN (*)();

}  // namespace format_double
