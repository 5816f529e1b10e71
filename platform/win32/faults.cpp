#include "platform/faults.h"

#include <windows.h>

#include <cstring>

namespace platform {
namespace {

FaultHandler installedHandler = nullptr;

// Room for the report when the thread's stack is exhausted.
constexpr ULONG kStackReserve = 64 * 1024;

void AddRegister(FaultInfo& fault, const char* name, uint64_t value) {
    FaultRegister& entry = fault.registers[fault.registerCount++];
    std::strncpy(entry.name, name, sizeof entry.name - 1);
    entry.value = value;
}

void ReadContext(FaultInfo& fault, const CONTEXT& c) {
#if defined(_M_X64) || defined(__x86_64__)
    const struct {
        const char* name;
        DWORD64 value;
    } order[] = {{"RAX", c.Rax}, {"RBX", c.Rbx}, {"RCX", c.Rcx}, {"RDX", c.Rdx},
                 {"RBP", c.Rbp}, {"RSI", c.Rsi}, {"RDI", c.Rdi}, {"RSP", c.Rsp},
                 {"R8", c.R8},   {"R9", c.R9},   {"R10", c.R10}, {"R11", c.R11},
                 {"R12", c.R12}, {"R13", c.R13}, {"R14", c.R14}, {"R15", c.R15}};
#else
    const struct {
        const char* name;
        DWORD value;
    } order[] = {{"EAX", c.Eax}, {"EBX", c.Ebx}, {"ECX", c.Ecx}, {"EDX", c.Edx},
                 {"EBP", c.Ebp}, {"ESI", c.Esi}, {"EDI", c.Edi}, {"ESP", c.Esp}};
#endif
    for (const auto& entry : order) AddRegister(fault, entry.name, uint64_t(entry.value));
}

LONG WINAPI OnFault(EXCEPTION_POINTERS* pointers) {
    SetUnhandledExceptionFilter(nullptr);  // runs at most once
    const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
    FaultInfo fault;
    fault.code = record.ExceptionCode;
    fault.codeAddress = reinterpret_cast<uintptr_t>(record.ExceptionAddress);
    if (record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record.NumberParameters >= 2) {
        fault.hasTargetAddress = true;
        fault.targetAddress = uint64_t(record.ExceptionInformation[1]);
    }
    ReadContext(fault, *pointers->ContextRecord);
    // The code a process that the exception ended reports.
    fault.exitCode = int(record.ExceptionCode);
    installedHandler(fault);
    EndProcessNow(fault.exitCode);
}

}  // namespace

void InstallFaultHandler(FaultHandler handler) {
    installedHandler = handler;
    ULONG reserve = kStackReserve;
    SetThreadStackGuarantee(&reserve);
    SetUnhandledExceptionFilter(OnFault);
}

void EndProcessNow(int exitCode) { ExitProcess(UINT(exitCode)); }

void WriteToStandardError(const char* text, size_t length) {
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    DWORD written = 0;
    if (error && error != INVALID_HANDLE_VALUE)
        WriteFile(error, text, DWORD(length), &written, nullptr);
}

}  // namespace platform
