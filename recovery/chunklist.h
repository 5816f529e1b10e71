// Apple's chunk lists (".chunklist"): the SHA-256 of every chunk of a recovery image,
// signed with Apple's key, so that an image is checked piece by piece as it arrives.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "platform/digest.h"

namespace recovery {

// An RSA public key: the modulus as hexadecimal digits, most significant first.
struct ChunklistKey {
    std::string_view modulusHex;
    uint32_t exponent = 65537;
};

// The one key the program trusts: Apple's published EFI ROM key. Test programs link a
// key of their own in its place.
const ChunklistKey& TrustedChunklistKey();

struct ImageChunk {
    int64_t offset = 0;
    uint32_t size = 0;
    std::array<uint8_t, 32> sha256{};
};

struct Chunklist {
    std::vector<ImageChunk> chunks;
    int64_t imageSize = 0;  // the chunks' sizes added up
};

enum class ChunklistVerdict {
    Signed,        // well formed, signed with the key
    Malformed,     // not a chunk list of the known version and method
    Unsigned,      // carries only a digest where the signature belongs
    BadSignature,  // the signature does not verify with the key
};

// Reads a whole chunk list and checks its signature; chunks are filled only when Signed.
ChunklistVerdict ReadChunklist(std::span<const uint8_t> bytes, const ChunklistKey& key,
                               Chunklist& chunklist);

// Checks an image against a chunk list as its bytes arrive in order.
class ChunkCheck {
public:
    explicit ChunkCheck(const Chunklist& chunklist);

    enum class Verdict {
        Keep,     // the bytes so far are right or not yet complete
        Refetch,  // a chunk did not match: fetch again from RefetchFrom()
        Reject,   // the bytes cannot belong to the image
    };
    // The bytes at offset; total is the length the server announced (0: none).
    Verdict Take(int64_t offset, std::span<const uint8_t> bytes, int64_t total);
    // Where the chunk that did not match starts; the check goes on from there.
    int64_t RefetchFrom() const { return ChunkStart(); }
    // The 1-based number of the chunk that did not match last, 0 when none did.
    size_t FailedChunk() const { return failedChunk_; }
    // Every chunk arrived and matched.
    bool Complete() const { return next_ == chunklist_.chunks.size(); }

private:
    int64_t ChunkStart() const;
    bool ChunkMatches();

    const Chunklist& chunklist_;
    size_t next_ = 0;       // the chunk being received
    int64_t position_ = 0;  // the image bytes taken so far
    size_t failedChunk_ = 0;
    std::unique_ptr<platform::Digest> digest_;
};

}  // namespace recovery
