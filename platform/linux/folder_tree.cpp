#include "platform/linux/folder_tree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <sstream>
#include <vector>

#include "platform/files.h"
#include "platform/linux/unique_fd.h"
#include "platform/paths.h"

namespace platform::linuxos {
namespace {

constexpr size_t kBufferBytes = size_t(1) << 20;

// Below the tree's folder an existing link is no folder: nothing is written through it.
bool MakeLevel(const std::string& path, bool followLinks) {
    if (mkdir(path.c_str(), 0777) == 0) return true;
    if (errno != EEXIST) return false;
    struct stat st {};
    int found = followLinks ? stat(path.c_str(), &st) : lstat(path.c_str(), &st);
    return found == 0 && S_ISDIR(st.st_mode);
}

// Each level of the path, from the first part on; false at the first one that fails.
bool MakeLevels(const std::string& base, const std::string& parts, bool followLinks) {
    std::istringstream in(parts);
    std::string path = base;
    for (std::string part; std::getline(in, part, '/');)
        if (!part.empty() && !MakeLevel(path += "/" + part, followLinks)) return false;
    return true;
}

bool WriteAll(int fd, const uint8_t* bytes, size_t count) {
    while (count > 0) {
        ssize_t written = write(fd, bytes, count);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes += written;
        count -= size_t(written);
    }
    return true;
}

class FolderTree : public FileTree {
public:
    explicit FolderTree(std::string folder) : root_(std::move(folder)) {
        while (!root_.empty() && root_.back() == '/') root_.pop_back();
    }

    // The tree's own folder is made too where it is missing.
    bool CreateFolder(const std::string& relative) override {
        bool absolute = root_.starts_with("/");
        return (FolderExists(root_.empty() ? "/" : root_) ||
                MakeLevels(absolute ? "" : ".", root_, true)) &&
               MakeLevels(root_, relative, false);
    }

    bool WriteFile(const std::string& relative, const ByteSource& source,
                   bool executable) override {
        std::string path = Path(relative);
        UniqueFd fd(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW,
                         executable ? 0777 : 0666));
        if (!fd) return false;
        if (Copy(source, fd.get()) && fsync(fd.get()) == 0) return true;
        unlink(path.c_str());
        return false;
    }

    bool SetHidden(const std::string& relative) override {
        return platform::SetHidden(Path(relative));
    }

    bool Exists(const std::string& relative) override {
        struct stat st {};
        return lstat(Path(relative).c_str(), &st) == 0;
    }

    // The folder's own fsync makes a FUSE driver write out what it keeps (directory
    // entries, attributes); syncfs then the file system and its device's cache. Without
    // the folder nothing was written.
    bool Finish() override {
        std::string root = root_.empty() ? "/" : root_;
        if (!FolderExists(root)) return true;
        UniqueFd folder(open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        return folder && fsync(folder.get()) == 0 && syncfs(folder.get()) == 0;
    }

private:
    std::string Path(const std::string& relative) const { return root_ + "/" + relative; }

    bool Copy(const ByteSource& source, int fd) {
        buffer_.resize(kBufferBytes);
        auto sink = [fd](const uint8_t* bytes, size_t count) { return WriteAll(fd, bytes, count); };
        return PumpBytes(source, sink, buffer_);
    }

    std::string root_;
    std::vector<uint8_t> buffer_;
};

}  // namespace

std::unique_ptr<FileTree> OpenFolderTree(const std::string& folder) {
    return std::make_unique<FolderTree>(folder);
}

}  // namespace platform::linuxos
