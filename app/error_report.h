// The report of an unexpected fault: one box with what is known about it, then the end
// of the process.
#pragma once

#include <cstdint>
#include <string>

#include "platform/faults.h"

namespace app {

// Registers ReportProgramError for every unexpected fault of the process; the first step
// of start-up.
void InstallErrorReport();

// Shows the "OnError Info" box, puts the AutoRun policy back when the program changed
// it, and returns; the fault handler then ends the process with the fault's exit code.
void ReportProgramError(const platform::FaultInfo& fault);

// "Invalid memory access" and the rest; "Unknown error code" for a code not listed.
std::string FaultMessage(uint32_t code);

// The report's lines, each ended by a lone carriage return.
std::string ErrorReportText(const platform::FaultInfo& fault);

}  // namespace app
