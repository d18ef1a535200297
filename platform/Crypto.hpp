// The cryptography the launcher checks its server's signatures and its files with: OpenSSL on Linux, Monocypher and
// CNG on Windows, which has no OpenSSL.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

using Ed25519PublicKey = std::array<std::uint8_t, 32>;
using Ed25519Signature = std::array<std::uint8_t, 64>;
using Blake2b512Hash = std::array<std::uint8_t, 64>;

/// True only when `signature` is a valid standard Ed25519 signature (RFC 8032, SHA-512, not the prehashed Ed25519ph)
/// of `message` by `key`.
[[nodiscard]] bool VerifyEd25519(const Ed25519PublicKey& key, std::string_view message,
                                 const Ed25519Signature& signature);

/// The unkeyed BLAKE2b digest of `message` with a 64-byte output; nullopt when it could not be computed.
[[nodiscard]] std::optional<Blake2b512Hash> Blake2b512(std::string_view message);

/// A SHA-256 digest fed block by block, written out as 64 lower-case hex characters.
class Sha256Digest {
public:
    Sha256Digest();
    ~Sha256Digest();
    Sha256Digest(const Sha256Digest&) = delete;
    Sha256Digest& operator=(const Sha256Digest&) = delete;

    /// Adds `size` bytes; false when the digest could not take them or hex() was taken already.
    [[nodiscard]] bool update(const void* data, std::size_t size);
    /// The digest of everything added; empty when it was taken already or any step failed.
    [[nodiscard]] std::string hex();

private:
    struct Context; // the backend's state
    /// The backend's last step: the digest's 32 bytes, once; false when it failed or was taken already.
    [[nodiscard]] bool finish(std::array<std::uint8_t, 32>& digest);

    std::unique_ptr<Context> m_context;
};

} // namespace platform
