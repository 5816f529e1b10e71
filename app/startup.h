// Start-up, run and exit of the program.
#pragma once

#include <string>

namespace app {

// VersionText and AboutHeader.
void InitialiseVersion();

// Everything before the main loop. False when another copy runs (it was told so).
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
