// minisign's public keys and signature files, and the check of a signature against the bytes it signs: the format a
// community's admin already has a tool for (Debian's `minisign`).
#pragma once

#include "platform/Crypto.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// A minisign public key: the key id that signatures name, and the Ed25519 key.
struct MinisignKey {
    std::array<std::uint8_t, 8> id{};
    platform::Ed25519PublicKey key{};

    /// The key id as minisign prints it ("CF63F1E28F10E919").
    [[nodiscard]] std::string idText() const;
};

/// A public key from its base64 line ("RWQ…") alone or from a whole minisign.pub file (whose "untrusted comment:"
/// line is skipped); nullopt when the text holds no key, or more than one.
[[nodiscard]] std::optional<MinisignKey> parseMinisignKey(std::string_view text);

/// Why a signature was not accepted.
enum class MinisignProblem {
    None,
    Malformed,         // not a minisign signature file
    UnknownKey,        // made with a key that is not among the trusted ones
    BadSignature,      // the bytes are not the ones that were signed
    BadTrustedComment, // the trusted comment is not the one that was signed
};

struct MinisignCheck {
    MinisignProblem problem = MinisignProblem::Malformed;
    std::string keyId;          // the signing key's id, once the signature could be read
    std::string trustedComment; // what the signer vouched for beside the bytes; only when the check passed

    [[nodiscard]] explicit operator bool() const noexcept { return problem == MinisignProblem::None; }
};

/// Signature files are a few hundred bytes; anything far larger is not one.
inline constexpr std::size_t maxMinisignFileBytes = 8 * 1024;

/// Checks the minisign signature file `signatureFile` for `bytes` against `keys`: the signature over the bytes (the
/// "ED" form signs their BLAKE2b-512 digest, the legacy "Ed" form the bytes themselves) by the key its id names, and
/// the global signature over the trusted comment. Both must hold.
[[nodiscard]] MinisignCheck checkMinisignSignature(std::string_view bytes, std::string_view signatureFile,
                                                   const std::vector<MinisignKey>& keys);

/// Standard base64 with its padding, nothing else (no line breaks, no spaces); nullopt for anything else.
[[nodiscard]] std::optional<std::string> decodeBase64(std::string_view text);
