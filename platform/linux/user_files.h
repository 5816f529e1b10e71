// Files the program makes for the user who started it.
#pragma once

#include <string>

namespace platform::linuxos {

// A new file in a folder of the starting user (a download or a backup in that user's
// repositories) becomes that user's when root runs for them through pkexec; elsewhere
// (a stick, a system folder) it stays whose the folder's files are.
void GiveNewFileToFolderOwner(int fd, const std::string& path);

}  // namespace platform::linuxos
