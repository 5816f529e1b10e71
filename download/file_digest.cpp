#include "download/file_digest.h"

#include "platform/file_blocks.h"

namespace download {
namespace {

constexpr size_t kReadBlock = 1 << 20;

}  // namespace

std::string FileDigestHex(const std::string& path, std::unique_ptr<platform::Digest> digest) {
    if (!digest) return "";
    bool read = platform::ReadFileBlocks(path, kReadBlock, [&](std::span<const uint8_t> block) {
        digest->Update(block);
        return true;
    });
    return read ? platform::HexText(digest->Finish()) : "";
}

}  // namespace download
