// Start-up, run and exit of the program.
#pragma once

#include <string>

namespace app {

// VersionText and AboutHeader.
void InitialiseVersion();

enum class FrontEnd { Window, CommandLine };

// What a run needs beyond the steps every run takes.
struct StartNeeds {
    bool guard = true;     // the single-instance guard: the run may write a disk, the settings
                           // or a repository
    bool settings = true;  // the settings file
};

// The start-up both front ends run, in this order: the error report, the version, the
// globals, the system drive, the program's location, the single-instance guard, the
// settings; then the window switches AutoRun off and keeps the reading pauses, which the
// command-line tool, whose status lines stay on the terminal, turns off. False when
// another copy holds the guard; the user was told (a box, or a line on stderr).
bool StartFrontEnd(FrontEnd frontEnd, const std::string& executablePath, StartNeeds needs);

// The window's start-up: StartFrontEnd, then everything before the main loop. False when
// another copy runs.
bool StartUp(const std::string& executablePath);

void ExitSequence();

// StartUp, MainLoop, ExitSequence; the process exit code.
int RunProgram();

// What main returns after RunProgram. Workers still running end with the process: then it
// ends here at once, so that nothing they use (the toolkit, the globals) is torn down
// under them.
int EndProgram(int exitCode);

// The AutoRun policy switched off for the program's lifetime, and put back (once, and
// only after it was switched off).
void DisableAutoRun();
void RestoreAutoRun();

}  // namespace app
