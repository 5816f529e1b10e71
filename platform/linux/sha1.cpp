#include "platform/sha1.h"

#include <openssl/evp.h>

namespace platform {
namespace {

struct ContextFreer {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using Context = std::unique_ptr<EVP_MD_CTX, ContextFreer>;

class LibcryptoSha1 : public Sha1 {
public:
    explicit LibcryptoSha1(Context context) : context_(std::move(context)) {}

    void Update(std::span<const uint8_t> bytes) override {
        failed_ = failed_ || EVP_DigestUpdate(context_.get(), bytes.data(), bytes.size()) != 1;
    }

    std::string FinishHex() override {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        if (failed_ || EVP_DigestFinal_ex(context_.get(), digest, &length) != 1) return "";
        static const char kDigits[] = "0123456789abcdef";
        std::string hex;
        for (unsigned int i = 0; i < length; ++i) {
            hex += kDigits[digest[i] >> 4];
            hex += kDigits[digest[i] & 15];
        }
        return hex;
    }

private:
    Context context_;
    bool failed_ = false;
};

}  // namespace

std::unique_ptr<Sha1> NewSha1() {
    Context context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha1(), nullptr) != 1) return nullptr;
    return std::make_unique<LibcryptoSha1>(std::move(context));
}

}  // namespace platform
