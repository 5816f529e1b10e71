// The folder that holds the program's temporary folders. Root runs the archiver and the
// scripts from there, so no other user may be able to write it, swap it for a link or
// move it away: it is a 0700 folder of this user's own, in a parent that only root or
// this user can change (or a sticky one like /tmp, where others cannot move it).
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include "platform/files.h"
#include "platform/linux/unique_fd.h"

namespace platform {
namespace {

using linuxos::UniqueFd;

struct Place {
    std::string path;  // with the closing separator
    bool runsPrograms = false;
};

// $TMPDIR first, as the user asked for it; then the runtime folder (root's own, or the
// session's); then the shared ones.
std::vector<std::string> Parents() {
    std::vector<std::string> parents;
    if (const char* variable = std::getenv("TMPDIR"); variable && *variable)
        parents.push_back(variable);
    if (geteuid() == 0)
        parents.push_back("/run");
    else if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        parents.push_back(runtime);
    parents.push_back("/tmp");
    parents.push_back("/var/tmp");
    return parents;
}

// Every folder from the root down to the parent is root's or this user's, and one that
// others may write is sticky. "" or what stands in the way.
std::string ParentProblem(const std::string& parent) {
    char resolved[PATH_MAX];
    if (!realpath(parent.c_str(), resolved)) return parent + " cannot be used";
    std::string path = resolved;
    for (size_t end = 0;; end = path.find('/', end + 1)) {
        std::string level = end == 0 ? "/" : path.substr(0, end);
        struct stat st {};
        if (lstat(level.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return level + " is no folder";
        if (st.st_uid != 0 && st.st_uid != geteuid()) return level + " belongs to another user";
        if ((st.st_mode & (S_IWGRP | S_IWOTH)) && !(st.st_mode & S_ISVTX))
            return level + " can be changed by other users";
        if (end == std::string::npos) return "";
    }
}

// The user's own folder in the parent, made when missing; nothing that another user
// made or a link there is taken.
std::string OwnFolder(const std::string& parent, Place& place) {
    std::string path = parent;
    if (path.back() != '/') path += '/';
    path += "stickforge-" + std::to_string(geteuid());
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return path + " cannot be made";
    UniqueFd fd(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (!fd || fstat(fd.get(), &st) != 0) return path + " is no folder";
    if (st.st_uid != geteuid()) return path + " belongs to another user";
    if ((st.st_mode & 07777) != 0700 && fchmod(fd.get(), 0700) != 0)
        return path + " cannot be made private";
    struct statvfs fs {};
    place = {path + "/", fstatvfs(fd.get(), &fs) == 0 && !(fs.f_flag & ST_NOEXEC)};
    return "";
}

}  // namespace

// The first usable place where programs may run; else the first usable one.
std::string TemporaryPath(std::string* refusal) {
    std::string firstProblem, fallback;
    for (const std::string& parent : Parents()) {
        Place place;
        std::string problem = ParentProblem(parent);
        if (problem.empty()) problem = OwnFolder(parent, place);
        if (!problem.empty()) {
            if (firstProblem.empty()) firstProblem = problem;
            continue;
        }
        if (place.runsPrograms) return place.path;
        if (fallback.empty()) fallback = place.path;
    }
    if (fallback.empty() && refusal) *refusal = firstProblem;
    return fallback;
}

}  // namespace platform
