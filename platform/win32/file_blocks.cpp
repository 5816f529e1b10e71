#include "platform/file_blocks.h"

#include <windows.h>

#include <vector>

#include "platform/win32/owned_handle.h"
#include "platform/win32/wide.h"

namespace platform {

bool ReadFileBlocks(const std::string& path, size_t blockSize, const BlockSink& sink) {
    win32::OwnedHandle file =
        win32::Own(CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file || blockSize == 0 || blockSize > MAXDWORD) return false;
    std::vector<uint8_t> block(blockSize);
    for (;;) {
        DWORD count = 0;
        if (!ReadFile(file.get(), block.data(), DWORD(block.size()), &count, nullptr)) return false;
        if (count == 0) return true;
        if (!sink(std::span<const uint8_t>(block.data(), count))) return false;
    }
}

}  // namespace platform
