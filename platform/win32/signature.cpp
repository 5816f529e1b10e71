#include "platform/signature.h"

#include <cstring>
#include <memory>
#include <vector>

#include "platform/win32/bcrypt_handles.h"

namespace platform {
namespace {

// BCRYPT_RSAKEY_BLOB: the header, then the exponent and the modulus, big-endian.
std::vector<UCHAR> PublicKeyBlob(std::span<const uint8_t> modulus, uint32_t exponent) {
    std::vector<UCHAR> exponentBytes;
    for (int shift = 24; shift >= 0; shift -= 8)
        if (uint8_t byte = uint8_t(exponent >> shift); byte != 0 || !exponentBytes.empty())
            exponentBytes.push_back(byte);
    BCRYPT_RSAKEY_BLOB header{};
    header.Magic = BCRYPT_RSAPUBLIC_MAGIC;
    header.BitLength = ULONG(modulus.size() * 8);
    header.cbPublicExp = ULONG(exponentBytes.size());
    header.cbModulus = ULONG(modulus.size());
    std::vector<UCHAR> blob(sizeof header);
    std::memcpy(blob.data(), &header, sizeof header);
    blob.insert(blob.end(), exponentBytes.begin(), exponentBytes.end());
    blob.insert(blob.end(), modulus.begin(), modulus.end());
    return blob;
}

}  // namespace

bool VerifyRsaSha256(std::span<const uint8_t> modulus, uint32_t exponent,
                     std::span<const uint8_t> digest, std::span<const uint8_t> signature) {
    if (modulus.empty() || exponent == 0 || signature.size() != modulus.size()) return false;
    BCRYPT_ALG_HANDLE algorithmHandle = nullptr;
    if (BCryptOpenAlgorithmProvider(&algorithmHandle, BCRYPT_RSA_ALGORITHM, nullptr, 0) < 0)
        return false;
    Algorithm algorithm(algorithmHandle);
    std::vector<UCHAR> blob = PublicKeyBlob(modulus, exponent);
    BCRYPT_KEY_HANDLE keyHandle = nullptr;
    if (BCryptImportKeyPair(algorithm.get(), nullptr, BCRYPT_RSAPUBLIC_BLOB, &keyHandle,
                            blob.data(), ULONG(blob.size()), 0) < 0)
        return false;
    Key key(keyHandle);
    BCRYPT_PKCS1_PADDING_INFO padding{BCRYPT_SHA256_ALGORITHM};
    return BCryptVerifySignature(key.get(), &padding, const_cast<PUCHAR>(digest.data()),
                                 ULONG(digest.size()), const_cast<PUCHAR>(signature.data()),
                                 ULONG(signature.size()), BCRYPT_PAD_PKCS1) == 0;
}

}  // namespace platform
