#include "platform/output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/linux/user_files.h"

namespace platform {

OutputFile OutputFile::Create(const std::string& path) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0) linuxos::GiveNewFileToFolderOwner(fd, path);
    return OutputFile(fd);
}

OutputFile::OutputFile(OutputFile&& other) noexcept : handle_(std::exchange(other.handle_, -1)) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, -1);
    }
    return *this;
}

int64_t OutputFile::Write(std::span<const uint8_t> bytes) {
    int64_t written = 0;
    while (written < int64_t(bytes.size())) {
        ssize_t n = write(int(handle_), bytes.data() + written, bytes.size() - size_t(written));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        written += n;
    }
    return written;
}

int64_t OutputFile::Position() const { return IsOpen() ? lseek(int(handle_), 0, SEEK_CUR) : -1; }

bool OutputFile::CutTo(int64_t length) {
    return IsOpen() && ftruncate(int(handle_), length) == 0 &&
           lseek(int(handle_), length, SEEK_SET) == length;
}

bool OutputFile::Flush() { return IsOpen() && fsync(int(handle_)) == 0; }

void OutputFile::Close() {
    if (IsOpen()) close(int(std::exchange(handle_, -1)));
}

}  // namespace platform
