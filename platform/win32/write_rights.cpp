#include "platform/win32/write_rights.h"

#include <windows.h>

namespace platform::win32 {

// Under UAC an administrator's unelevated token holds the group for denying only, and
// CheckTokenMembership then says no: exactly the case in which raw disks stay closed.
std::string WriteRightsProblem() {
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof administrators;
    BOOL member = FALSE;
    if (CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size) &&
        CheckTokenMembership(nullptr, administrators, &member) && member)
        return {};
    return "No administrator rights: disks can be listed but not written";
}

}  // namespace platform::win32
