#include "recovery/package_check.h"

#include <algorithm>
#include <charconv>
#include <optional>

#include "core/progress.h"
#include "download/download_callbacks.h"
#include "download/file_digest.h"
#include "platform/path_parts.h"
#include "platform/paths.h"

namespace recovery {
namespace {

constexpr int64_t kStatusMs = 2000;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return text;
}

// The catalog's byte count; none when its text is no plain decimal number.
std::optional<uint64_t> ByteCount(const std::string& size) {
    uint64_t count = 0;
    auto [end, error] = std::from_chars(size.data(), size.data() + size.size(), count);
    if (error != std::errc() || end != size.data() + size.size()) return std::nullopt;
    return count;
}

bool MatchesSize(const std::string& path, const std::string& size) {
    if (size.empty()) return true;
    std::string name = platform::FileNamePart(path);
    std::optional<uint64_t> expected = ByteCount(size);
    if (!expected) {
        core::ShowStatus("Size Error: the catalog's size of " + name + " is no byte count",
                         kStatusMs);
        return false;
    }
    int64_t actual = platform::FileSize(path);
    if (actual >= 0 && uint64_t(actual) == *expected) return true;
    core::ShowStatus("Size Error: " + name + " has " + std::to_string(actual) +
                         " bytes, not the catalog's " + std::to_string(*expected),
                     kStatusMs);
    return false;
}

}  // namespace

std::string FileSha1(const std::string& path) {
    return download::FileDigestHex(path, platform::NewSha1());
}

bool PackageMatchesCatalog(const std::string& path, const core::RecoveryEntry& entry) {
    if (!MatchesSize(path, entry.Size)) return false;
    if (entry.Digest.empty()) return true;
    std::string name = platform::FileNamePart(path);
    std::string actual = FileSha1(path);
    if (actual.empty()) {
        core::ShowStatus("Digest Error: cannot compute the SHA-1 of " + name, kStatusMs);
        return false;
    }
    if (actual != Lower(entry.Digest)) {
        core::ShowStatus("Digest Error: " + name + " does not match the catalog's SHA-1 digest",
                         kStatusMs);
        return false;
    }
    return true;
}

}  // namespace recovery
