// The folders of an installed copy, and ownership for the user who started the program:
// under pkexec the program runs as root with PKEXEC_UID naming that user, and HOME and the
// XDG variables are root's (or gone), so that user's folders come from the password file.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/linux/user_files.h"
#include "platform/path_parts.h"
#include "platform/paths.h"

namespace platform {
namespace {

struct StartingUser {
    uid_t uid;
    gid_t gid;
    std::string home;
};

// The user root runs for under pkexec; none when the program runs as its own user.
std::optional<StartingUser> PkexecUser() {
    const char* text = std::getenv("PKEXEC_UID");
    if (geteuid() != 0 || !text || !*text) return std::nullopt;
    char* end = nullptr;
    unsigned long uid = std::strtoul(text, &end, 10);
    if (*end != '\0') return std::nullopt;
    const passwd* entry = getpwuid(uid_t(uid));
    if (!entry || !entry->pw_dir || entry->pw_dir[0] != '/') return std::nullopt;
    return StartingUser{entry->pw_uid, entry->pw_gid, entry->pw_dir};
}

std::string OwnHome() {
    if (const char* home = std::getenv("HOME"); home && home[0] == '/') return home;
    const passwd* entry = getpwuid(getuid());
    return entry && entry->pw_dir ? entry->pw_dir : "/";
}

// $XDG_..._HOME of the user, or its default under the home folder; under pkexec the
// variables are root's, so only the default applies.
std::string XdgFolder(const char* variable, const char* underHome) {
    std::optional<StartingUser> user = PkexecUser();
    if (user) return JoinPath(user->home, underHome);
    if (const char* value = std::getenv(variable); value && value[0] == '/') return value;
    return JoinPath(OwnHome(), underHome);
}

bool IsSystemProgramFolder(const std::string& folder) {
    for (const char* system : {"/usr/bin/", "/usr/sbin/", "/bin/", "/sbin/", "/usr/local/bin/",
                               "/usr/local/sbin/", "/usr/games/"})
        if (folder == system) return true;
    return false;
}

// Whether the user who started the program may write the folder.
bool StartingUserMayWrite(const std::string& folder) {
    std::optional<StartingUser> user = PkexecUser();
    if (!user) return access(folder.c_str(), W_OK) == 0;
    struct stat st {};
    if (stat(folder.c_str(), &st) != 0) return false;
    if (st.st_uid == user->uid) return (st.st_mode & S_IWUSR) != 0;
    if (st.st_gid == user->gid) return (st.st_mode & S_IWGRP) != 0;
    return (st.st_mode & S_IWOTH) != 0;
}

// The user root runs for, when the file's folder is that user's: only there do new files
// become theirs (a stick or root's own folders keep the owner their files have).
std::optional<StartingUser> OwnerOfFolderFor(const std::string& path) {
    std::optional<StartingUser> user = PkexecUser();
    if (!user) return std::nullopt;
    std::string folder = FolderPart(path);
    struct stat st {};
    if (stat(folder.empty() ? "." : folder.c_str(), &st) != 0 || st.st_uid != user->uid)
        return std::nullopt;
    return user;
}

}  // namespace

UserFolders InstalledUserFolders(const std::string& programFolder,
                                 const std::string& settingsFileName) {
    if (FileExists(JoinPath(programFolder, settingsFileName))) return {};
    if (!IsSystemProgramFolder(programFolder) && StartingUserMayWrite(programFolder)) return {};
    return {JoinPath(XdgFolder("XDG_CONFIG_HOME", ".config"), "stickforge/"),
            JoinPath(XdgFolder("XDG_DATA_HOME", ".local/share"), "stickforge/")};
}

bool MakeUserFolder(const std::string& path) {
    std::string folder = path;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (FolderExists(folder)) return true;
    std::string parent = FolderPart(folder);
    if (parent.empty() || parent == folder || !MakeUserFolder(parent)) return false;
    if (mkdir(folder.c_str(), 0755) != 0 && !FolderExists(folder)) return false;
    GiveToStartingUser(folder);
    return true;
}

void GiveToStartingUser(const std::string& path) {
    std::optional<StartingUser> user = PkexecUser();
    // A refusal leaves the file root's: still there and readable, nothing lost.
    if (user && lchown(path.c_str(), user->uid, user->gid) != 0) return;
}

void linuxos::GiveNewFileToFolderOwner(int fd, const std::string& path) {
    std::optional<StartingUser> user = OwnerOfFolderFor(path);
    // As above: a refusal leaves the file root's, nothing lost.
    if (user && fchown(fd, user->uid, user->gid) != 0) return;
}

void GiveNewFileToFolderOwner(const std::string& path) {
    std::optional<StartingUser> user = OwnerOfFolderFor(path);
    if (user && lchown(path.c_str(), user->uid, user->gid) != 0) return;
}

}  // namespace platform
