#include "platform/digest.h"

#include <openssl/evp.h>

namespace platform {
namespace {

struct ContextFreer {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using Context = std::unique_ptr<EVP_MD_CTX, ContextFreer>;

class LibcryptoDigest : public Digest {
public:
    explicit LibcryptoDigest(Context context) : context_(std::move(context)) {}

    void Update(std::span<const uint8_t> bytes) override {
        failed_ = failed_ || EVP_DigestUpdate(context_.get(), bytes.data(), bytes.size()) != 1;
    }

    std::vector<uint8_t> Finish() override {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        if (failed_ || EVP_DigestFinal_ex(context_.get(), digest, &length) != 1) return {};
        return {digest, digest + length};
    }

private:
    Context context_;
    bool failed_ = false;
};

std::unique_ptr<Digest> NewDigest(const EVP_MD* algorithm) {
    Context context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), algorithm, nullptr) != 1) return nullptr;
    return std::make_unique<LibcryptoDigest>(std::move(context));
}

}  // namespace

std::unique_ptr<Digest> NewSha1() { return NewDigest(EVP_sha1()); }
std::unique_ptr<Digest> NewSha256() { return NewDigest(EVP_sha256()); }

}  // namespace platform
