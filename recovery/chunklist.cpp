#include "recovery/chunklist.h"

#include <algorithm>

#include "platform/byte_order.h"
#include "platform/signature.h"

namespace recovery {
namespace {

// "CNKL", header size, file version, chunk method, signature method, a pad byte, chunk
// count, chunk table offset, signature offset; all little-endian.
constexpr size_t kHeaderSize = 0x24;
constexpr size_t kEntrySize = 4 + 32;
constexpr size_t kSignatureSize = 256;
constexpr size_t kDigestOnlySize = 32;
constexpr uint8_t kSignedWithRsa = 1;
constexpr uint8_t kDigestOnly = 2;

std::vector<uint8_t> HexBytes(std::string_view hex) {
    auto value = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        int high = value(hex[i]), low = value(hex[i + 1]);
        if (high < 0 || low < 0) return {};
        bytes.push_back(uint8_t(high * 16 + low));
    }
    return hex.size() % 2 == 0 ? bytes : std::vector<uint8_t>{};
}

// The layout the header promises, checked against the file's length; the signature's
// size, 0 when the header is not one this program knows.
size_t SignatureSizeOf(std::span<const uint8_t> bytes, uint64_t& count) {
    if (bytes.size() < kHeaderSize || !std::equal(bytes.begin(), bytes.begin() + 4, "CNKL"))
        return 0;
    uint8_t method = bytes[10];
    count = platform::ReadLe64(bytes.data() + 12);
    uint64_t tableOffset = platform::ReadLe64(bytes.data() + 20);
    uint64_t signatureOffset = platform::ReadLe64(bytes.data() + 28);
    size_t signatureSize = method == kSignedWithRsa ? kSignatureSize
                           : method == kDigestOnly  ? kDigestOnlySize
                                                    : 0;
    bool known = platform::ReadLe32(bytes.data() + 4) == kHeaderSize && bytes[8] == 1 &&
                 bytes[9] == 1 && signatureSize != 0 && count > 0 && tableOffset == kHeaderSize;
    if (!known || count > (bytes.size() - kHeaderSize) / kEntrySize) return 0;
    if (signatureOffset != kHeaderSize + count * kEntrySize ||
        bytes.size() != signatureOffset + signatureSize)
        return 0;
    return signatureSize;
}

}  // namespace

ChunklistVerdict ReadChunklist(std::span<const uint8_t> bytes, const ChunklistKey& key,
                               Chunklist& chunklist) {
    chunklist = {};
    uint64_t count = 0;
    size_t signatureSize = SignatureSizeOf(bytes, count);
    if (signatureSize == 0) return ChunklistVerdict::Malformed;
    size_t signedSize = kHeaderSize + size_t(count) * kEntrySize;
    if (signatureSize != kSignatureSize) return ChunklistVerdict::Unsigned;

    std::unique_ptr<platform::Digest> sha256 = platform::NewSha256();
    if (!sha256) return ChunklistVerdict::BadSignature;
    sha256->Update(bytes.first(signedSize));
    std::vector<uint8_t> digest = sha256->Finish();
    // The signature is stored least significant byte first.
    std::vector<uint8_t> signature(bytes.begin() + signedSize, bytes.end());
    std::reverse(signature.begin(), signature.end());
    std::vector<uint8_t> modulus = HexBytes(key.modulusHex);
    if (digest.empty() || !platform::VerifyRsaSha256(modulus, key.exponent, digest, signature))
        return ChunklistVerdict::BadSignature;

    Chunklist read;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* entry = bytes.data() + kHeaderSize + i * kEntrySize;
        ImageChunk chunk;
        chunk.offset = read.imageSize;
        chunk.size = platform::ReadLe32(entry);
        std::copy(entry + 4, entry + kEntrySize, chunk.sha256.begin());
        if (chunk.size == 0) return ChunklistVerdict::Malformed;
        read.imageSize += chunk.size;
        read.chunks.push_back(chunk);
    }
    chunklist = std::move(read);
    return ChunklistVerdict::Signed;
}

ChunkCheck::ChunkCheck(const Chunklist& chunklist) : chunklist_(chunklist) {}

int64_t ChunkCheck::ChunkStart() const {
    return Complete() ? chunklist_.imageSize : chunklist_.chunks[next_].offset;
}

bool ChunkCheck::ChunkMatches() {
    std::vector<uint8_t> digest = digest_->Finish();
    digest_.reset();
    const std::array<uint8_t, 32>& expected = chunklist_.chunks[next_].sha256;
    return std::equal(digest.begin(), digest.end(), expected.begin(), expected.end());
}

ChunkCheck::Verdict ChunkCheck::Take(int64_t offset, std::span<const uint8_t> bytes,
                                     int64_t total) {
    if ((total != 0 && total != chunklist_.imageSize) || offset != position_)
        return Verdict::Reject;
    while (!bytes.empty()) {
        if (Complete()) return Verdict::Reject;  // longer than its chunk list
        const ImageChunk& chunk = chunklist_.chunks[next_];
        if (!digest_ && !(digest_ = platform::NewSha256())) return Verdict::Reject;
        size_t taken =
            size_t(std::min<int64_t>(int64_t(bytes.size()), chunk.offset + chunk.size - position_));
        digest_->Update(bytes.first(taken));
        bytes = bytes.subspan(taken);
        position_ += int64_t(taken);
        if (position_ < chunk.offset + chunk.size) break;
        if (!ChunkMatches()) {
            failedChunk_ = next_ + 1;
            position_ = chunk.offset;
            return Verdict::Refetch;
        }
        ++next_;
    }
    return Verdict::Keep;
}

}  // namespace recovery
