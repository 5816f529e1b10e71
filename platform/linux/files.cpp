#include "platform/files.h"

#include <fcntl.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "platform/linux/unique_fd.h"

namespace fs = std::filesystem;

namespace platform {
namespace {

// Depth first; a folder's own rights are widened first, as a read-only folder would keep
// its entries. Links are entries like files.
bool RemoveEntry(const fs::path& path) {
    std::error_code error;
    fs::file_status status = fs::symlink_status(path, error);
    if (error) return false;
    bool removed = true;
    if (fs::is_directory(status)) {
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, error);
        for (const fs::directory_entry& entry : fs::directory_iterator(path, error))
            removed = RemoveEntry(entry.path()) && removed;
    }
    return fs::remove(path, error) && removed;
}

}  // namespace

std::string TemporaryPath() {
    const char* variable = std::getenv("TMPDIR");
    std::string path = variable && *variable ? variable : "/tmp";
    return path.back() == '/' ? path : path + "/";
}

std::vector<FolderEntry> ListFolder(const std::string& folder) {
    std::vector<FolderEntry> entries;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        bool link = entry.is_symlink(error);
        entries.push_back({entry.path().filename().string(), !link && entry.is_directory(error)});
    }
    return entries;
}

bool CreateFolder(const std::string& path) { return mkdir(path.c_str(), 0777) == 0; }

bool RemoveTree(const std::string& path) { return !path.empty() && RemoveEntry(path); }

bool RemoveFile(const std::string& path) { return unlink(path.c_str()) == 0; }

bool MoveReplacing(const std::string& from, const std::string& to) {
    return rename(from.c_str(), to.c_str()) == 0;
}

bool SetHidden(const std::string& path) {
    linuxos::UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    uint32_t attributes = 0;
    if (!fd || ioctl(fd.get(), FAT_IOCTL_GET_ATTRIBUTES, &attributes) != 0) return false;
    attributes |= ATTR_HIDDEN;
    return ioctl(fd.get(), FAT_IOCTL_SET_ATTRIBUTES, &attributes) == 0;
}

int64_t WriteNewFile(const std::string& path, std::span<const uint8_t> bytes) {
    linuxos::UniqueFd fd(
        open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644));
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
    linuxos::UniqueFd fd(open(to.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fd || fsync(fd.get()) != 0) return uint32_t(errno);
    return 0;
}

}  // namespace platform
