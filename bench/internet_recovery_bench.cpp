// The Internet Recovery fetch alone, for bench/internet_recovery_bench.sh: session, image
// request, chunk list and BaseSystem.dmg with every chunk checked, from the server that
// STICKFORGE_RECOVERY_HOST names, into FOLDER; linked with the chunk list test key.
// Prints the image's path; its status lines (stderr) say how many bytes of the image were
// fetched. The status lines' reading pauses are skipped, as the command line skips them. Exit 0 only when it arrived whole and checked.
// Usage: build/internet_recovery_bench FOLDER
#include <cstdio>
#include <memory>

#include "app/main_window.h"
#include "core/settings.h"
#include "core/state.h"
#include "platform/clock.h"
#include "recovery/internet_recovery.h"
#include "tests/instant_clock.h"
#include "ui/console/console_toolkit.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    ui::SetToolkit(std::make_unique<ui::ConsoleToolkit>(ui::ConsoleOptions{true, stderr, stdin}));
    platform::SetClock(std::make_unique<test::InstantClock>());
    core::InitialiseGlobals();
    app::BuildMainWindow();  // its status line is where the fetch reports
    core::SFKImageLocalRepo = argv[1];
    core::ResumeMaxAttemptsNumber = 10;
    std::string dmg;
    core::Outcome outcome =
        recovery::FetchRecoveryImage(recovery::InternetRecoveryVersions()[1], dmg);
    std::printf("%s\n", dmg.c_str());
    return outcome == core::Outcome::Done ? 0 : 1;
}
