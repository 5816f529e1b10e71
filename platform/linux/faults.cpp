#include "platform/faults.h"

#include <signal.h>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <exception>

namespace platform {
namespace {

FaultHandler installedHandler = nullptr;
// A stack overflow leaves no stack to report it on: each thread gets one of this size.
constexpr size_t kRoomBytes = 256 * 1024;
alignas(16) char firstThreadStack[kRoomBytes];
// One report per process: a second thread that ends the same way waits for the first.
std::atomic_flag reporting = ATOMIC_FLAG_INIT;

constexpr uint64_t kStackNearness = 64 * 1024;

uint32_t AccessFault(const siginfo_t& info, uint64_t stackPointer) {
    uint64_t address = reinterpret_cast<uintptr_t>(info.si_addr);
    uint64_t distance = address > stackPointer ? address - stackPointer : stackPointer - address;
    return distance < kStackNearness ? 0xC00000FD : 0xC0000005;
}

uint32_t ArithmeticFault(int code) {
    switch (code) {
        case FPE_INTDIV:
            return 0xC0000094;
        case FPE_INTOVF:
            return 0xC0000095;
        case FPE_FLTDIV:
            return 0xC000008E;
        case FPE_FLTOVF:
            return 0xC0000091;
        case FPE_FLTUND:
            return 0xC0000093;
        case FPE_FLTRES:
            return 0xC000008F;
        case FPE_FLTSUB:
            return 0xC000008C;
        default:
            return 0xC0000090;
    }
}

uint32_t FaultCode(int signal, const siginfo_t& info, uint64_t stackPointer) {
    switch (signal) {
        case SIGSEGV:
            return AccessFault(info, stackPointer);
        case SIGBUS:
            return info.si_code == BUS_ADRALN ? 0x80000002 : 0xC0000006;
        case SIGFPE:
            return ArithmeticFault(info.si_code);
        case SIGILL:
            return info.si_code == ILL_PRVOPC || info.si_code == ILL_PRVREG ? 0xC0000096
                                                                            : 0xC000001D;
        case SIGTRAP:
            return info.si_code == TRAP_TRACE ? 0x80000004 : 0x80000003;
    }
    return 0;
}

void AddRegister(FaultInfo& fault, const char* name, uint64_t value) {
    FaultRegister& entry = fault.registers[fault.registerCount++];
    std::strncpy(entry.name, name, sizeof entry.name - 1);
    entry.value = value;
}

void ReadContext(FaultInfo& fault, const ucontext_t& context) {
#if defined(__x86_64__)
    const greg_t* r = context.uc_mcontext.gregs;
    const struct {
        const char* name;
        int index;
    } order[] = {{"RAX", REG_RAX}, {"RBX", REG_RBX}, {"RCX", REG_RCX}, {"RDX", REG_RDX},
                 {"RBP", REG_RBP}, {"RSI", REG_RSI}, {"RDI", REG_RDI}, {"RSP", REG_RSP},
                 {"R8", REG_R8},   {"R9", REG_R9},   {"R10", REG_R10}, {"R11", REG_R11},
                 {"R12", REG_R12}, {"R13", REG_R13}, {"R14", REG_R14}, {"R15", REG_R15}};
    for (const auto& entry : order) AddRegister(fault, entry.name, uint64_t(r[entry.index]));
    fault.codeAddress = uint64_t(r[REG_RIP]);
#else
    (void)fault;
    (void)context;
#endif
}

uint64_t StackPointer(const FaultInfo& fault) {
    for (int i = 0; i < fault.registerCount; ++i)
        if (std::strcmp(fault.registers[i].name, "RSP") == 0) return fault.registers[i].value;
    return 0;
}

constexpr int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP};

[[noreturn]] void WaitForTheReport() {
    for (;;) pause();
}

void OnFault(int signal, siginfo_t* info, void* context) {
    for (int other : kFaultSignals) ::signal(other, SIG_DFL);  // runs at most once
    if (reporting.test_and_set()) WaitForTheReport();
    FaultInfo fault;
    ReadContext(fault, *static_cast<const ucontext_t*>(context));
    if (fault.registerCount == 0) fault.codeAddress = reinterpret_cast<uintptr_t>(info->si_addr);
    fault.code = FaultCode(signal, *info, StackPointer(fault));
    if (fault.code == 0xC0000005) {
        fault.hasTargetAddress = true;
        fault.targetAddress = reinterpret_cast<uintptr_t>(info->si_addr);
    }
    fault.exitCode = 128 + signal;  // what a shell reports for a process the signal ended
    installedHandler(fault);
    EndProcessNow(fault.exitCode);
}

[[noreturn]] void OnTerminate() {
    if (reporting.test_and_set()) WaitForTheReport();
    FaultInfo fault;
    fault.code = kUncaughtException;
    ucontext_t context;
    getcontext(&context);
    ReadContext(fault, context);
    fault.exitCode = 128 + SIGABRT;  // as std::terminate's own abort would end it
    installedHandler(fault);
    EndProcessNow(fault.exitCode);
}

}  // namespace

ThreadFaultRoom::ThreadFaultRoom() {
    void* stack = mmap(nullptr, kRoomBytes, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (stack == MAP_FAILED) return;
    stack_t room{};
    room.ss_sp = stack;
    room.ss_size = kRoomBytes;
    if (sigaltstack(&room, nullptr) != 0) {
        munmap(stack, kRoomBytes);
        return;
    }
    stack_ = stack;
}

// The thread ends here: its room must not outlive it, nor stay named as its stack.
ThreadFaultRoom::~ThreadFaultRoom() {
    if (!stack_) return;
    stack_t off{};
    off.ss_flags = SS_DISABLE;
    sigaltstack(&off, nullptr);
    munmap(stack_, kRoomBytes);
}

void InstallFaultHandler(FaultHandler handler) {
    installedHandler = handler;
    stack_t stack{};
    stack.ss_sp = firstThreadStack;
    stack.ss_size = sizeof firstThreadStack;
    sigaltstack(&stack, nullptr);
    std::set_terminate(OnTerminate);
    struct sigaction action {};
    action.sa_sigaction = OnFault;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int signal : kFaultSignals) sigaction(signal, &action, nullptr);
}

void EndProcessNow(int exitCode) { _exit(exitCode); }

void WriteToStandardError(const char* text, size_t length) {
    while (length > 0) {
        ssize_t written = write(STDERR_FILENO, text, length);
        if (written <= 0) return;
        text += written;
        length -= size_t(written);
    }
}

}  // namespace platform
