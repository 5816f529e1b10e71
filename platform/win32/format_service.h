// The system's format service: FormatEx of fmifs.dll, loaded for one format and reporting
// through a callback on the calling thread.
#pragma once

#include <string>

#include "platform/disks.h"

namespace platform::win32 {

// The service in the system directory; never a copy planted beside the program.
std::wstring SystemFormatLibrary();

// Formats through FormatEx of `library`. ServiceMissing when the library cannot be loaded;
// a library without FormatEx counts as a failed format: one report of command 11 with a
// zero success flag. An exception thrown by report stops the format and is thrown again
// once the service has returned.
FormatServiceStatus RunFormatService(const std::wstring& library, const FormatRequest& request,
                                     const FormatReport& report);

}  // namespace platform::win32
