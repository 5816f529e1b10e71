// Unexpected faults of the process (access violations, division by zero, illegal
// instructions, breakpoints, stack overflow) handed to one handler on the thread that
// faulted. The handler runs where memory may be broken: it gets fixed-size data only.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

struct FaultRegister {
    char name[4];  // "RAX", "R8", ...
    uint64_t value;
};

struct FaultInfo {
    uint32_t code = 0;  // the Windows exception code; on Linux the signal mapped to one
    uint64_t codeAddress = 0;
    bool hasTargetAddress = false;  // access violations: the address that was accessed
    uint64_t targetAddress = 0;
    FaultRegister registers[17] = {};
    int registerCount = 0;
    int exitCode = 1;  // what the process ends with: how the platform tells of a crash
};

using FaultHandler = void (*)(const FaultInfo& fault);

// Makes handler the process's handler for unhandled faults, on every thread. A fault
// inside the handler is not caught again.
void InstallFaultHandler(FaultHandler handler);

// Ends the process at once with this code, without the program's exit sequence.
[[noreturn]] void EndProcessNow(int exitCode);

// Writes the bytes to the standard error stream without allocating.
void WriteToStandardError(const char* text, size_t length);

}  // namespace platform
