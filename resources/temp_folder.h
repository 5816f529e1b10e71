// The program's temporary folder (TempFolder, app/state.h) and the TEMP files in it.
#pragma once

#include <string>

namespace resources {

// Deletes every SFKTemp folder of the user's own in the temporary path (the current one
// included) and makes a fresh one, "SFKTemp" + a number from 1000 to 9999, hidden, named
// by TempFolder with a closing separator. False, with a status line saying why, when there
// is no private temporary path or a bounded number of names were all taken.
bool CreateTempFolder();

// Deletes the TEMP files left in the folder and returns a new name there, "TEMP" + a
// number from 1000 to 9999, that nothing has yet; "" for an empty folder argument.
std::string NewTempFileName(const std::string& folder);

// Gives every entry of TempFolder the hidden attribute, where the file system has one.
void HideTempFolderEntries();

// Removes TempFolder with everything in it when this run made it, never following a link;
// a later operation makes a new one.
void RemoveTempFolder();

// Removes TempFolder when the owner goes, however the operation ends.
class TempFolderOwner {
public:
    TempFolderOwner() = default;
    ~TempFolderOwner() { RemoveTempFolder(); }
    TempFolderOwner(const TempFolderOwner&) = delete;
    TempFolderOwner& operator=(const TempFolderOwner&) = delete;
};

}  // namespace resources
