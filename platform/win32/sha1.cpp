#include "platform/sha1.h"

#include <windows.h>
// Needs <windows.h> first.
#include <bcrypt.h>

#include <vector>

namespace platform {
namespace {

struct AlgorithmCloser {
    void operator()(BCRYPT_ALG_HANDLE algorithm) const {
        BCryptCloseAlgorithmProvider(algorithm, 0);
    }
};
using Algorithm = std::unique_ptr<void, AlgorithmCloser>;

struct HashDestroyer {
    void operator()(BCRYPT_HASH_HANDLE hash) const { BCryptDestroyHash(hash); }
};
using Hash = std::unique_ptr<void, HashDestroyer>;

constexpr ULONG kDigestBytes = 20;
constexpr ULONG kLargestUpdate = 1u << 30;

class BcryptSha1 : public Sha1 {
public:
    BcryptSha1(Algorithm algorithm, Hash hash)
        : algorithm_(std::move(algorithm)), hash_(std::move(hash)) {}

    void Update(std::span<const uint8_t> bytes) override {
        while (!failed_ && !bytes.empty()) {
            ULONG count = bytes.size() > kLargestUpdate ? kLargestUpdate : ULONG(bytes.size());
            failed_ = BCryptHashData(hash_.get(), const_cast<PUCHAR>(bytes.data()), count, 0) < 0;
            bytes = bytes.subspan(count);
        }
    }

    std::string FinishHex() override {
        UCHAR digest[kDigestBytes];
        if (failed_ || BCryptFinishHash(hash_.get(), digest, kDigestBytes, 0) < 0) return "";
        static const char kDigits[] = "0123456789abcdef";
        std::string hex;
        for (UCHAR byte : digest) {
            hex += kDigits[byte >> 4];
            hex += kDigits[byte & 15];
        }
        return hex;
    }

private:
    Algorithm algorithm_;  // outlives the hash made from it
    Hash hash_;
    bool failed_ = false;
};

}  // namespace

std::unique_ptr<Sha1> NewSha1() {
    BCRYPT_ALG_HANDLE algorithmHandle = nullptr;
    if (BCryptOpenAlgorithmProvider(&algorithmHandle, BCRYPT_SHA1_ALGORITHM, nullptr, 0) < 0)
        return nullptr;
    Algorithm algorithm(algorithmHandle);
    BCRYPT_HASH_HANDLE hashHandle = nullptr;
    if (BCryptCreateHash(algorithm.get(), &hashHandle, nullptr, 0, nullptr, 0, 0) < 0)
        return nullptr;
    return std::make_unique<BcryptSha1>(std::move(algorithm), Hash(hashHandle));
}

}  // namespace platform
