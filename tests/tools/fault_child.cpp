// A test program only: starts as the window does (error report, settings, AutoRun policy
// switched off) and then commits the fault its argument names, on the main thread or on
// one of the program's workers ("worker-" prefix).
#ifndef _WIN32
#include <sys/mman.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>

#include "app/startup.h"
#include "app/workers.h"
#include "ui/console/console_toolkit.h"

// Under the address sanitizer the faults still reach the program's own handlers.
extern "C" const char* __asan_default_options() {
    return "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0";
}

namespace {

volatile int zero = 0;
volatile int sink = 0;
std::string kind;

// Deeper until the stack runs out; the test of depth keeps the compiler from seeing an
// endless recursion.
[[gnu::noinline]] int Recurse(int depth) {
    volatile char frame[4096];
    frame[0] = char(depth);
    if (depth < 0) return 0;
    return Recurse(depth + 1) + frame[0];
}

#ifndef _WIN32
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
#endif

void Commit(int32_t) {
    if (kind == "segv") *reinterpret_cast<volatile int*>(16) = 1;
    if (kind == "fpe") sink = 7 / zero;
    if (kind == "ill") __builtin_trap();
    if (kind == "trap") asm volatile("int3");
#ifndef _WIN32
    if (kind == "bus") TouchPastEndOfFile();
#endif
    if (kind == "stack") sink = Recurse(0);
    // What a string of a crafted size throws; nothing catches it.
    if (kind == "throw") throw std::length_error("basic_string::_M_create");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    ui::SetToolkit(std::make_unique<ui::ConsoleToolkit>(ui::ConsoleOptions{false, stderr, stdin}));
    // Another program of this name may run beside the tests: this one needs no guard.
    if (!app::StartFrontEnd(app::FrontEnd::Window, std::string(argv[2]) + "/stickforge",
                            {.guard = false}))
        return 2;
    kind = argv[1];
    if (kind.rfind("worker-", 0) == 0) {
        kind.erase(0, 7);
        app::StartWorker(Commit, 0);
        while (app::LiveWorkers() > 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } else {
        Commit(0);
    }
    return 0;  // no fault happened
}
