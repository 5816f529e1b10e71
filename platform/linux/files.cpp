#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/linux/unique_fd.h"

namespace fs = std::filesystem;

namespace platform {
namespace {

using linuxos::UniqueFd;

// Everything below the open folder, depth first, each entry by descriptor and name, so a
// link is removed as itself and a folder swapped for a link meanwhile is not entered.
// A folder that keeps its entries from its owner gets the owner's rights first. Goes on
// past a failure; false when anything stayed.
bool EmptyFolder(int folder) {
    struct stat st {};
    if (fstat(folder, &st) != 0) return false;
    if (st.st_uid == geteuid() && (st.st_mode & S_IRWXU) != S_IRWXU)
        fchmod(folder, (st.st_mode & 07777) | S_IRWXU);
    int copy = dup(folder);
    DIR* stream = copy >= 0 ? fdopendir(copy) : nullptr;
    if (!stream) {
        if (copy >= 0) close(copy);
        return false;
    }
    std::vector<std::string> names;
    while (const dirent* entry = readdir(stream))
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.push_back(entry->d_name);
    closedir(stream);
    bool emptied = true;
    for (const std::string& name : names) {
        if (unlinkat(folder, name.c_str(), 0) == 0) continue;
        UniqueFd below(
            openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!below && errno == EACCES &&
            fchmodat(folder, name.c_str(), S_IRWXU, AT_SYMLINK_NOFOLLOW) == 0)
            below = UniqueFd(
                openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        bool removed =
            below && EmptyFolder(below.get()) && unlinkat(folder, name.c_str(), AT_REMOVEDIR) == 0;
        emptied = removed && emptied;
    }
    return emptied;
}

}  // namespace

std::vector<FolderEntry> ListFolder(const std::string& folder) {
    std::vector<FolderEntry> entries;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        struct stat st {};
        if (lstat(entry.path().c_str(), &st) != 0) continue;  // gone meanwhile
        entries.push_back(
            {entry.path().filename().string(), S_ISDIR(st.st_mode), st.st_uid == geteuid()});
    }
    return entries;
}

bool CreateFolder(const std::string& path) { return mkdir(path.c_str(), 0700) == 0; }

bool RemoveTree(const std::string& path) {
    std::string trimmed = path;  // a closing "/" would make open follow a link
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    UniqueFd folder(open(trimmed.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder) return false;
    bool emptied = EmptyFolder(folder.get());
    return rmdir(trimmed.c_str()) == 0 && emptied;
}

bool RemoveFile(const std::string& path) { return unlink(path.c_str()) == 0; }

bool MoveReplacing(const std::string& from, const std::string& to) {
    return rename(from.c_str(), to.c_str()) == 0;
}

bool SetHidden(const std::string& path) {
    UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    uint32_t attributes = 0;
    if (!fd || ioctl(fd.get(), FAT_IOCTL_GET_ATTRIBUTES, &attributes) != 0) return false;
    attributes |= ATTR_HIDDEN;
    return ioctl(fd.get(), FAT_IOCTL_SET_ATTRIBUTES, &attributes) == 0;
}

int64_t WriteNewFile(const std::string& path, std::span<const uint8_t> bytes) {
    UniqueFd fd(open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (!fd) return -1;
    size_t written = 0;
    while (written < bytes.size()) {
        ssize_t count = write(fd.get(), bytes.data() + written, bytes.size() - written);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) break;
        written += size_t(count);
    }
    return int64_t(written);
}

uint32_t CopyFileReplacing(const std::string& from, const std::string& to) {
    std::error_code error;
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, error);
    if (error) return uint32_t(error.value());
    UniqueFd fd(open(to.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fd || fsync(fd.get()) != 0) return uint32_t(errno);
    return 0;
}

}  // namespace platform
