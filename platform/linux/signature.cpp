#include "platform/signature.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/rsa.h>

#include <memory>

namespace platform {
namespace {

struct Freer {
    void operator()(BIGNUM* number) const { BN_free(number); }
    void operator()(OSSL_PARAM_BLD* builder) const { OSSL_PARAM_BLD_free(builder); }
    void operator()(OSSL_PARAM* parameters) const { OSSL_PARAM_free(parameters); }
    void operator()(EVP_PKEY_CTX* context) const { EVP_PKEY_CTX_free(context); }
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
template <typename T>
using Owned = std::unique_ptr<T, Freer>;

Owned<EVP_PKEY> PublicKey(std::span<const uint8_t> modulus, uint32_t exponent) {
    Owned<BIGNUM> n(BN_bin2bn(modulus.data(), int(modulus.size()), nullptr));
    Owned<BIGNUM> e(BN_new());
    Owned<OSSL_PARAM_BLD> builder(OSSL_PARAM_BLD_new());
    if (!n || !e || !builder || BN_set_word(e.get(), exponent) != 1 ||
        OSSL_PARAM_BLD_push_BN(builder.get(), OSSL_PKEY_PARAM_RSA_N, n.get()) != 1 ||
        OSSL_PARAM_BLD_push_BN(builder.get(), OSSL_PKEY_PARAM_RSA_E, e.get()) != 1)
        return nullptr;
    Owned<OSSL_PARAM> parameters(OSSL_PARAM_BLD_to_param(builder.get()));
    Owned<EVP_PKEY_CTX> context(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
    EVP_PKEY* key = nullptr;
    if (!parameters || !context || EVP_PKEY_fromdata_init(context.get()) != 1 ||
        EVP_PKEY_fromdata(context.get(), &key, EVP_PKEY_PUBLIC_KEY, parameters.get()) != 1)
        return nullptr;
    return Owned<EVP_PKEY>(key);
}

}  // namespace

bool VerifyRsaSha256(std::span<const uint8_t> modulus, uint32_t exponent,
                     std::span<const uint8_t> digest, std::span<const uint8_t> signature) {
    if (modulus.empty() || signature.size() != modulus.size()) return false;
    Owned<EVP_PKEY> key = PublicKey(modulus, exponent);
    if (!key) return false;
    Owned<EVP_PKEY_CTX> context(EVP_PKEY_CTX_new(key.get(), nullptr));
    return context && EVP_PKEY_verify_init(context.get()) == 1 &&
           EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING) == 1 &&
           EVP_PKEY_CTX_set_signature_md(context.get(), EVP_sha256()) == 1 &&
           EVP_PKEY_verify(context.get(), signature.data(), signature.size(), digest.data(),
                           digest.size()) == 1;
}

}  // namespace platform
