#include "platform/image_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "platform/linux/mounts.h"
#include "platform/linux/unique_fd.h"
#include "platform/linux/user_files.h"

namespace platform {
namespace {

using linuxos::UniqueFd;

class SequentialFile : public ImageFile {
public:
    explicit SequentialFile(UniqueFd fd) : fd_(std::move(fd)) {}

    int64_t Read(void* data, int64_t bytes) override {
        return Repeat(bytes, [&](int64_t done, size_t left) {
            return read(fd_.get(), static_cast<char*>(data) + done, left);
        });
    }
    int64_t Write(const void* data, int64_t bytes) override {
        return Repeat(bytes, [&](int64_t done, size_t left) {
            return write(fd_.get(), static_cast<const char*>(data) + done, left);
        });
    }
    bool Seek(int64_t offset) override { return lseek(fd_.get(), off_t(offset), SEEK_SET) >= 0; }
    bool SetEnd() override {
        off_t here = lseek(fd_.get(), 0, SEEK_CUR);
        return here >= 0 && ftruncate(fd_.get(), here) == 0;
    }
    bool Flush() override { return fsync(fd_.get()) == 0; }

private:
    // Short transfers are continued; the end of the file stops a read early.
    template <class Step>
    static int64_t Repeat(int64_t bytes, Step step) {
        int64_t done = 0;
        while (done < bytes) {
            ssize_t moved = step(done, size_t(bytes - done));
            if (moved < 0 && errno == EINTR) continue;
            if (moved < 0) return -1;
            if (moved == 0) break;
            done += moved;
        }
        return done;
    }

    UniqueFd fd_;
};

std::unique_ptr<ImageFile> Sequential(const std::string& path, int flags) {
    UniqueFd fd(open(path.c_str(), flags | O_CLOEXEC, 0644));
    if (!fd) return nullptr;
    if (flags & O_CREAT) linuxos::GiveNewFileToFolderOwner(fd.get(), path);
    posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    return std::make_unique<SequentialFile>(std::move(fd));
}

}  // namespace

std::unique_ptr<ImageFile> CreateSequentialFile(const std::string& path) {
    return Sequential(path, O_RDWR | O_CREAT | O_TRUNC);
}

std::unique_ptr<ImageFile> OpenSequentialFile(const std::string& path) {
    return Sequential(path, O_RDONLY);
}

// The deepest mount point above the path's nearest existing folder, links resolved.
std::string VolumeRootOf(const std::string& path) {
    std::error_code error;
    std::filesystem::path at = std::filesystem::absolute(path, error);
    if (error) return "";
    while (!std::filesystem::exists(at, error) && at.has_relative_path()) at = at.parent_path();
    std::string real = std::filesystem::canonical(at, error).string();
    if (error) return "";
    std::string best;
    for (const linuxos::Mount& mount : linuxos::ReadMounts()) {
        const std::string& point = mount.mountPoint;
        bool holds = point == "/" || real == point || real.starts_with(point + "/");
        if (holds && point.size() >= best.size()) best = point;
    }
    return best;
}

}  // namespace platform
