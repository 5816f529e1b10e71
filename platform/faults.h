// Unexpected faults of the process (access violations, division by zero, illegal
// instructions, breakpoints, stack overflow, an exception nothing caught) handed to one
// handler on the thread that faulted. The handler runs where memory may be broken: it gets
// fixed-size data only.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// The code of a C++ exception that no handler caught, as Windows reports one.
inline constexpr uint32_t kUncaughtException = 0xE06D7363;

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

// Makes handler the process's handler for unhandled faults and for std::terminate, and
// readies the calling thread (see ThreadFaultRoom). A fault inside the handler is not
// caught again.
void InstallFaultHandler(FaultHandler handler);

// What a thread needs so that the handler can still run on it when its stack is used up:
// Linux an alternate signal stack, Windows a stack guarantee. Every other thread of the
// program holds one for its whole life (platform/threads.h).
class ThreadFaultRoom {
public:
    ThreadFaultRoom();
    ~ThreadFaultRoom();
    ThreadFaultRoom(const ThreadFaultRoom&) = delete;
    ThreadFaultRoom& operator=(const ThreadFaultRoom&) = delete;

private:
    [[maybe_unused]] void* stack_ = nullptr;
};

// Ends the process at once with this code, without the program's exit sequence.
[[noreturn]] void EndProcessNow(int exitCode);

// Writes the bytes to the standard error stream without allocating.
void WriteToStandardError(const char* text, size_t length);

}  // namespace platform
