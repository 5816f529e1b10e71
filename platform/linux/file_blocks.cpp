#include "platform/file_blocks.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/linux/unique_fd.h"

namespace platform {

bool ReadFileBlocks(const std::string& path, size_t blockSize, const BlockSink& sink) {
    linuxos::UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd || blockSize == 0) return false;
    std::vector<uint8_t> block(blockSize);
    for (;;) {
        ssize_t count = read(fd.get(), block.data(), block.size());
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) return false;
        if (count == 0) return true;
        if (!sink(std::span<const uint8_t>(block.data(), size_t(count)))) return false;
    }
}

}  // namespace platform
