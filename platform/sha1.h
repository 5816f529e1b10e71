// SHA-1 digests from the system's cryptography library, for checking downloads against
// the digests their catalogs publish.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace platform {

class Sha1 {
public:
    virtual ~Sha1() = default;
    virtual void Update(std::span<const uint8_t> bytes) = 0;
    // The digest as 40 lower-case hexadecimal digits; "" when the library failed.
    virtual std::string FinishHex() = 0;
};

// Null when the library offers no SHA-1.
std::unique_ptr<Sha1> NewSha1();

}  // namespace platform
