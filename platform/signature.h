// RSA signature checks from the system's cryptography library, for signed chunk lists.
#pragma once

#include <cstdint>
#include <span>

namespace platform {

// True when signature is an RSA PKCS #1 v1.5 signature of the SHA-256 digest under the
// public key (modulus, exponent); modulus and signature are big-endian numbers of the
// same length.
bool VerifyRsaSha256(std::span<const uint8_t> modulus, uint32_t exponent,
                     std::span<const uint8_t> digest, std::span<const uint8_t> signature);

}  // namespace platform
