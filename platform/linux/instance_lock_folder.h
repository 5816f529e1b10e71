// Where the single-instance lock file lives: a folder in which only the program's user
// can create files, so that no other user can take the lock first or swap its file.
#pragma once

#include <sys/types.h>

#include <string>

namespace platform::linuxos {

// /run for root; otherwise the user's runtime folder (XDG_RUNTIME_DIR, given as
// runtimeFolder, may be null) when it is theirs alone, else "<temporary>/stickforge-<uid>",
// made with mode 0700 when missing. A folder counts only when it is no link, belongs to
// the user and nobody else may write to it; "" when none does.
std::string InstanceLockFolder(uid_t user, const char* runtimeFolder, const std::string& temporary);

// True when folder is a folder, no link, belongs to user and nobody else may write to it.
bool OwnedAlone(const std::string& folder, uid_t user);

}  // namespace platform::linuxos
