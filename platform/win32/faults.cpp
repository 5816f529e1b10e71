#include "platform/faults.h"

#include <windows.h>

#include <atomic>
#include <cstring>
#include <exception>

namespace platform {
namespace {

FaultHandler installedHandler = nullptr;

// Room for the report when the thread's stack is exhausted.
constexpr ULONG kStackReserve = 64 * 1024;
// A C++ exception of this compiler's runtime on its way up; when nothing catches it,
// continuing lets the runtime call std::terminate.
constexpr DWORD kCompilerThrow = 0x20474343;
// One report per process: a second thread that ends the same way waits for the first.
std::atomic_flag reporting = ATOMIC_FLAG_INIT;

// The report runs on a fiber of its own, on the thread that faulted: a used-up stack has
// no room for it, whatever guarantee was asked for (Wine leaves the filter a few
// kilobytes), and the window's calls from that thread must stay its own.
constexpr SIZE_T kReportStackBytes = 256 * 1024;
void* reportFiber = nullptr;
FaultInfo pendingFault;  // filled by the one thread that reports

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

void ReserveStack() {
    ULONG reserve = kStackReserve;
    SetThreadStackGuarantee(&reserve);
}

[[noreturn]] void WaitForTheReport() {
    for (;;) Sleep(INFINITE);
}

[[noreturn]] void ReportPendingFault() {
    installedHandler(pendingFault);
    EndProcessNow(pendingFault.exitCode);
}

void WINAPI ReportOnFiber(void*) { ReportPendingFault(); }

[[noreturn]] void Report() {
    if (reportFiber && (IsThreadAFiber() || ConvertThreadToFiber(nullptr)))
        SwitchToFiber(reportFiber);
    ReportPendingFault();
}

LONG WINAPI OnFault(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
    if (record.ExceptionCode == kCompilerThrow &&
        !(record.ExceptionFlags & EXCEPTION_NONCONTINUABLE))
        return EXCEPTION_CONTINUE_EXECUTION;
    SetUnhandledExceptionFilter(nullptr);  // runs at most once
    if (reporting.test_and_set()) WaitForTheReport();
    FaultInfo& fault = pendingFault;
    fault.code = record.ExceptionCode;
    fault.codeAddress = reinterpret_cast<uintptr_t>(record.ExceptionAddress);
    if (record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record.NumberParameters >= 2) {
        fault.hasTargetAddress = true;
        fault.targetAddress = uint64_t(record.ExceptionInformation[1]);
    }
    ReadContext(fault, *pointers->ContextRecord);
    // The code a process that the exception ended reports.
    fault.exitCode = int(record.ExceptionCode);
    Report();
}

[[noreturn]] void OnTerminate() {
    if (reporting.test_and_set()) WaitForTheReport();
    FaultInfo& fault = pendingFault;
    fault.code = kUncaughtException;
    CONTEXT context{};
    RtlCaptureContext(&context);
    ReadContext(fault, context);
#if defined(_M_X64) || defined(__x86_64__)
    fault.codeAddress = uint64_t(context.Rip);
#else
    fault.codeAddress = uint64_t(context.Eip);
#endif
    fault.exitCode = 3;  // as std::terminate's own abort would end it
    Report();
}

}  // namespace

ThreadFaultRoom::ThreadFaultRoom() { ReserveStack(); }
ThreadFaultRoom::~ThreadFaultRoom() = default;

void InstallFaultHandler(FaultHandler handler) {
    installedHandler = handler;
    if (!reportFiber) reportFiber = CreateFiber(kReportStackBytes, ReportOnFiber, nullptr);
    ReserveStack();
    SetUnhandledExceptionFilter(OnFault);
    std::set_terminate(OnTerminate);
}

void EndProcessNow(int exitCode) { ExitProcess(UINT(exitCode)); }

void WriteToStandardError(const char* text, size_t length) {
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    DWORD written = 0;
    if (error && error != INVALID_HANDLE_VALUE)
        WriteFile(error, text, DWORD(length), &written, nullptr);
}

}  // namespace platform
