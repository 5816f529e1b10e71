// The program's temporary folder (TempFolder, app/state.h) and the TEMP files in it.
#pragma once

#include <string>

namespace resources {

// Deletes every SFKTemp folder in the user's temporary folder (the current one included)
// and makes a fresh one, "SFKTemp" + a number from 1000 to 9999, hidden, named by
// TempFolder with a closing separator. False when it could not be made.
bool CreateTempFolder();

// Deletes the TEMP files left in the folder and returns a new name there, "TEMP" + a
// number from 1000 to 9999, that nothing has yet; "" for an empty folder argument.
std::string NewTempFileName(const std::string& folder);

}  // namespace resources
