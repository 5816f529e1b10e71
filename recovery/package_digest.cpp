#include "recovery/package_digest.h"

#include <algorithm>

#include "core/progress.h"
#include "download/download_callbacks.h"
#include "platform/digest.h"
#include "platform/file_blocks.h"
#include "platform/path_parts.h"

namespace recovery {
namespace {

constexpr size_t kReadBlock = 1 << 20;
constexpr int64_t kStatusMs = 2000;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return text;
}

}  // namespace

std::string FileSha1(const std::string& path) {
    std::unique_ptr<platform::Digest> sha1 = platform::NewSha1();
    if (!sha1) return "";
    bool read = platform::ReadFileBlocks(path, kReadBlock, [&](std::span<const uint8_t> block) {
        sha1->Update(block);
        return true;
    });
    return read ? platform::HexText(sha1->Finish()) : "";
}

bool PackageMatchesDigest(const std::string& path, const std::string& digest) {
    if (digest.empty()) return true;
    std::string name = platform::FileNamePart(path);
    std::string actual = FileSha1(path);
    if (actual.empty()) {
        core::ShowStatus("Digest Error: cannot compute the SHA-1 of " + name, kStatusMs);
        return false;
    }
    if (actual != Lower(digest)) {
        core::ShowStatus("Digest Error: " + name + " does not match the catalog's SHA-1 digest",
                         kStatusMs);
        return false;
    }
    return true;
}

}  // namespace recovery
