// The cryptography on Linux: OpenSSL 3's libcrypto, which every Debian system has.
#include "platform/Crypto.hpp"

#include <openssl/evp.h>

namespace platform {

namespace {

struct KeyDeleter {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct ContextDeleter {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using KeyHandle = std::unique_ptr<EVP_PKEY, KeyDeleter>;
using ContextHandle = std::unique_ptr<EVP_MD_CTX, ContextDeleter>;

} // namespace

bool VerifyEd25519(const Ed25519PublicKey& key, std::string_view message, const Ed25519Signature& signature) {
    const KeyHandle publicKey(EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, key.data(), key.size()));
    const ContextHandle context(EVP_MD_CTX_new());
    if (!publicKey || !context)
        return false;
    // Ed25519 hashes the message itself: no digest is named, and the message goes in one call.
    if (EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, publicKey.get()) != 1)
        return false;
    return EVP_DigestVerify(context.get(), signature.data(), signature.size(),
                            reinterpret_cast<const unsigned char*>(message.data()), message.size()) == 1;
}

std::optional<Blake2b512Hash> Blake2b512(std::string_view message) {
    Blake2b512Hash hash{};
    unsigned int size = 0;
    if (EVP_Digest(message.data(), message.size(), hash.data(), &size, EVP_blake2b512(), nullptr) != 1 ||
        size != hash.size())
        return std::nullopt;
    return hash;
}

struct Sha256Digest::Context {
    ContextHandle context{EVP_MD_CTX_new()};
    bool ready = false;
};

Sha256Digest::Sha256Digest() : m_context(std::make_unique<Context>()) {
    m_context->ready = m_context->context && EVP_DigestInit_ex(m_context->context.get(), EVP_sha256(), nullptr) == 1;
}

Sha256Digest::~Sha256Digest() = default;

bool Sha256Digest::update(const void* data, std::size_t size) {
    if (!m_context->ready)
        return false;
    if (EVP_DigestUpdate(m_context->context.get(), data, size) != 1)
        m_context->ready = false;
    return m_context->ready;
}

bool Sha256Digest::finish(std::array<std::uint8_t, 32>& digest) {
    if (!m_context->ready)
        return false;
    m_context->ready = false;
    unsigned int size = 0;
    return EVP_DigestFinal_ex(m_context->context.get(), digest.data(), &size) == 1 && size == digest.size();
}

} // namespace platform
