// The format service on Linux: the mkfs tools run on the partition a letter stands for,
// reporting through the command numbers of the Windows service.
#pragma once

#include "platform/disks.h"

namespace platform::linuxos {

// Every run that gets past finding a tool ends with one report 11 (the success flag), an
// error command before it where one fits (18 "too small" only informs). A full format
// first clears the volume reporting percentages (mkntfs does that itself, its percentages
// passed on); while a tool runs, its output comes as command 14 (info: the new text, NUL
// terminated) at least every 100 ms, so that the caller can stop it by answering false.
// ServiceMissing (without reports) when no mkfs tool at all is installed; a missing tool
// for one file system is a failed run.
FormatServiceStatus RunFormatService(const FormatRequest& request, const FormatReport& report);

}  // namespace platform::linuxos
