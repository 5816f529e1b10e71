// Digests from the system's cryptography library: SHA-1 for the catalog's package
// digests, SHA-256 for the chunks of recovery images.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace platform {

class Digest {
public:
    virtual ~Digest() = default;
    virtual void Update(std::span<const uint8_t> bytes) = 0;
    // The digest of everything given; empty when the library failed. Ends the digest.
    virtual std::vector<uint8_t> Finish() = 0;
};

// Null when the library offers no such digest.
std::unique_ptr<Digest> NewSha1();
std::unique_ptr<Digest> NewSha256();

// Lower-case hexadecimal digits of bytes.
inline std::string HexText(std::span<const uint8_t> bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (uint8_t byte : bytes) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 15];
    }
    return hex;
}

}  // namespace platform
