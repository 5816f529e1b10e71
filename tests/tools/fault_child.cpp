// A test program only: starts like the program (error report, settings, AutoRun policy
// switched off) and then commits the fault its argument names, on the main thread or
// on a worker ("worker-" prefix).
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "app/error_report.h"
#include "app/startup.h"
#include "core/settings.h"
#include "core/state.h"
#include "ui/console/console_toolkit.h"

// Under the address sanitizer the faults still reach the program's own handlers.
extern "C" const char* __asan_default_options() {
    return "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0";
}

namespace {

volatile int zero = 0;
volatile int sink = 0;

// Deeper until the stack runs out; the test of depth keeps the compiler from seeing an
// endless recursion.
[[gnu::noinline]] int Recurse(int depth) {
    volatile char frame[4096];
    frame[0] = char(depth);
    if (depth < 0) return 0;
    return Recurse(depth + 1) + frame[0];
}

// A page of a mapping that lies past the end of its file.
void TouchPastEndOfFile() {
    char path[] = "/tmp/stickforge-bus-XXXXXX";
    int fd = mkstemp(path);
    unlink(path);
    if (fd < 0 || ftruncate(fd, 4096) != 0) std::exit(3);
    auto* map =
        static_cast<volatile char*>(mmap(nullptr, 8192, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
    if (map == MAP_FAILED) std::exit(3);
    map[4096] = 1;
}

void Commit(const std::string& kind) {
    if (kind == "segv") *reinterpret_cast<volatile int*>(16) = 1;
    if (kind == "fpe") sink = 7 / zero;
    if (kind == "ill") __builtin_trap();
    if (kind == "trap") asm volatile("int3");
    if (kind == "bus") TouchPastEndOfFile();
    if (kind == "stack") sink = Recurse(0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    app::InstallErrorReport();
    ui::SetToolkit(std::make_unique<ui::ConsoleToolkit>(ui::ConsoleOptions{false, stderr, stdin}));
    core::InitialiseGlobals();
    core::SetProgramLocation(std::string(argv[2]) + "/stickforge");
    core::LoadSettings();
    app::DisableAutoRun();
    std::string kind = argv[1];
    if (kind.rfind("worker-", 0) == 0) {
        std::thread worker(Commit, kind.substr(7));
        worker.join();
    } else {
        Commit(kind);
    }
    return 0;  // no fault happened
}
