#include "platform/digest.h"

#include "platform/win32/bcrypt_handles.h"

namespace platform {
namespace {

constexpr ULONG kLargestUpdate = 1u << 30;

class BcryptDigest : public Digest {
public:
    BcryptDigest(Algorithm algorithm, Hash hash, ULONG length)
        : algorithm_(std::move(algorithm)), hash_(std::move(hash)), length_(length) {}

    void Update(std::span<const uint8_t> bytes) override {
        while (!failed_ && !bytes.empty()) {
            ULONG count = bytes.size() > kLargestUpdate ? kLargestUpdate : ULONG(bytes.size());
            failed_ = BCryptHashData(hash_.get(), const_cast<PUCHAR>(bytes.data()), count, 0) < 0;
            bytes = bytes.subspan(count);
        }
    }

    std::vector<uint8_t> Finish() override {
        std::vector<uint8_t> digest(length_);
        if (failed_ || BCryptFinishHash(hash_.get(), digest.data(), length_, 0) < 0) return {};
        return digest;
    }

private:
    Algorithm algorithm_;  // outlives the hash made from it
    Hash hash_;
    ULONG length_;
    bool failed_ = false;
};

std::unique_ptr<Digest> NewDigest(LPCWSTR name, ULONG length) {
    BCRYPT_ALG_HANDLE algorithmHandle = nullptr;
    if (BCryptOpenAlgorithmProvider(&algorithmHandle, name, nullptr, 0) < 0) return nullptr;
    Algorithm algorithm(algorithmHandle);
    BCRYPT_HASH_HANDLE hashHandle = nullptr;
    if (BCryptCreateHash(algorithm.get(), &hashHandle, nullptr, 0, nullptr, 0, 0) < 0)
        return nullptr;
    return std::make_unique<BcryptDigest>(std::move(algorithm), Hash(hashHandle), length);
}

}  // namespace

std::unique_ptr<Digest> NewSha1() { return NewDigest(BCRYPT_SHA1_ALGORITHM, 20); }
std::unique_ptr<Digest> NewSha256() { return NewDigest(BCRYPT_SHA256_ALGORITHM, 32); }

}  // namespace platform
