// MD5 through OpenSSL's EVP interface.
#include "sync/Md5Digest.hpp"

#include <openssl/err.h>
#include <openssl/evp.h>

namespace {

constexpr char hexDigits[] = "0123456789abcdef";

struct EvpContextDeleter {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

int lastCryptoError() {
    return ERR_GET_REASON(ERR_get_error());
}

} // namespace

struct Md5Digest::Context {
    std::unique_ptr<EVP_MD_CTX, EvpContextDeleter> evp{EVP_MD_CTX_new()};
    bool started = false;
};

Md5Digest::Md5Digest() : m_context(std::make_unique<Context>()) {
    m_context->started = m_context->evp && EVP_DigestInit_ex(m_context->evp.get(), EVP_md5(), nullptr) == 1;
    if (!m_context->started)
        m_error = lastCryptoError();
}

Md5Digest::~Md5Digest() = default;

bool Md5Digest::ready() const noexcept {
    return m_context->started;
}

bool Md5Digest::update(const void* data, std::size_t size) {
    if (!m_context->started)
        return false;
    if (EVP_DigestUpdate(m_context->evp.get(), data, size) != 1) {
        m_error = lastCryptoError();
        return false;
    }
    return true;
}

std::string Md5Digest::hex() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!m_context->started || EVP_DigestFinal_ex(m_context->evp.get(), digest, &length) != 1) {
        m_error = lastCryptoError();
        return {};
    }
    m_context->started = false;
    std::string text;
    text.reserve(2 * length);
    for (unsigned int i = 0; i < length; ++i) {
        text += hexDigits[digest[i] >> 4];
        text += hexDigits[digest[i] & 0x0f];
    }
    return text;
}
