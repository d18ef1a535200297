// The cryptography on Windows, which has no OpenSSL and whose CNG has no Ed25519: Monocypher for the signatures
// (its optional standard Ed25519; the core's EdDSA hashes with BLAKE2b and is another scheme), CNG for SHA-256.
#include "platform/Crypto.hpp"

#include "platform/windows/Win32.hpp"

#include <bcrypt.h>

#include <monocypher-ed25519.h>
#include <monocypher.h>

#include <limits>

namespace platform {

namespace {

// The SHA-256 provider, opened once for the process: opening one is far slower than a hash object from it, and
// CNG's provider handles may be shared between threads.
BCRYPT_ALG_HANDLE sha256Provider() {
    static const BCRYPT_ALG_HANDLE provider = [] {
        BCRYPT_ALG_HANDLE handle = nullptr;
        return BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0) == 0 ? handle : nullptr;
    }();
    return provider;
}

struct HashDeleter {
    void operator()(void* hash) const { BCryptDestroyHash(static_cast<BCRYPT_HASH_HANDLE>(hash)); }
};

} // namespace

bool VerifyEd25519(const Ed25519PublicKey& key, std::string_view message, const Ed25519Signature& signature) {
    return crypto_ed25519_check(signature.data(), key.data(), reinterpret_cast<const std::uint8_t*>(message.data()),
                                message.size()) == 0;
}

std::optional<Blake2b512Hash> Blake2b512(std::string_view message) {
    Blake2b512Hash hash{};
    crypto_blake2b(hash.data(), hash.size(), reinterpret_cast<const std::uint8_t*>(message.data()), message.size());
    return hash;
}

struct Sha256Digest::Context {
    std::unique_ptr<void, HashDeleter> hash;
    bool ready = false;
};

Sha256Digest::Sha256Digest() : m_context(std::make_unique<Context>()) {
    BCRYPT_HASH_HANDLE hash = nullptr;
    // CNG keeps the hash object itself when it is given no buffer (Windows 7 and later).
    if (sha256Provider() != nullptr && BCryptCreateHash(sha256Provider(), &hash, nullptr, 0, nullptr, 0, 0) == 0) {
        m_context->hash.reset(hash);
        m_context->ready = true;
    }
}

Sha256Digest::~Sha256Digest() = default;

bool Sha256Digest::update(const void* data, std::size_t size) {
    auto* bytes = static_cast<UCHAR*>(const_cast<void*>(data)); // CNG's signature only; the bytes are not written
    while (m_context->ready && size > 0) {
        // CNG takes at most a ULONG's worth of bytes per call.
        constexpr ULONG largest = std::numeric_limits<ULONG>::max();
        const ULONG part = size > largest ? largest : static_cast<ULONG>(size);
        if (BCryptHashData(static_cast<BCRYPT_HASH_HANDLE>(m_context->hash.get()), bytes, part, 0) != 0)
            m_context->ready = false;
        bytes += part;
        size -= part;
    }
    return m_context->ready;
}

bool Sha256Digest::finish(std::array<std::uint8_t, 32>& digest) {
    if (!m_context->ready)
        return false;
    m_context->ready = false;
    return BCryptFinishHash(static_cast<BCRYPT_HASH_HANDLE>(m_context->hash.get()), digest.data(),
                            static_cast<ULONG>(digest.size()), 0) == 0;
}

} // namespace platform
