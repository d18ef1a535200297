// Whether the launcher may act on its server's document: signed with minisign by a key built into the launcher, not
// expired, and not older than a document this player has seen already.
#pragma once

#include "net/Minisign.hpp"

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

/// How this launcher judges its server's document.
struct SigningPolicy {
    std::vector<MinisignKey> keys; // the keys built in (two while a community rolls its key over)
    bool required = false;         // a key was built in: nothing unsigned is acted on
    std::string seenSerialFile;    // where the highest serial seen is kept; empty: nowhere

    /// The policy for minisign public key lines (the build's VARNHOLD_SIGNING_KEY). A line that holds no key still
    /// makes a signature required: a launcher built with a broken key refuses every document, never none.
    [[nodiscard]] static SigningPolicy fromKeyLines(std::span<const std::string_view> lines,
                                                    std::string seenSerialFile);
};

/// Why a document was not verified.
enum class TrustProblem {
    None,
    NoKey,             // the launcher has no key built in: nothing was checked
    Missing,           // no signature came with the document
    Malformed,         // what came is not a minisign signature
    UnknownKey,        // signed, but not by a key built into this launcher
    BadSignature,      // the document is not the one that was signed
    BadTrustedComment, // the signature's trusted comment was altered
    NoFreshness,       // the trusted comment lacks "serial=" or "expires="
    Expired,           // its "expires" has passed
    Replayed,          // its serial is lower than one this player has seen
};

/// The verdict on one server document, which the launcher hands on to whatever must act only on a signed document.
struct DocumentTrust {
    TrustProblem problem = TrustProblem::NoKey;
    std::uint64_t serial = 0;     // from the trusted comment, once the signature holds
    std::int64_t expires = 0;     // the same, in seconds since 1970-01-01 UTC
    std::string keyId;            // the signing key's id as minisign prints it, once the signature could be read
    std::uint64_t seenSerial = 0; // the highest serial seen before this document

    [[nodiscard]] bool verified() const noexcept { return problem == TrustProblem::None; }
    [[nodiscard]] std::string toString() const;
};

/// What the signer vouched for about the document's age, from a trusted comment such as
/// "serial=42 expires=2027-01-31T00:00:00Z" (other words in it are ignored).
struct Freshness {
    std::uint64_t serial = 0;
    std::int64_t expires = 0; // seconds since 1970-01-01 UTC
};
/// nullopt when "serial=" (a decimal number) or "expires=" (a UTC time written YYYY-MM-DDTHH:MM:SSZ) is missing,
/// malformed or given twice.
[[nodiscard]] std::optional<Freshness> readFreshness(std::string_view trustedComment);
/// The trusted comment readFreshness reads back as `freshness`: "serial=42 expires=2027-01-31T00:00:00Z".
[[nodiscard]] std::string freshnessComment(const Freshness& freshness);

/// Judges the exact bytes `body` of the server's answer and the signature file that came with it (nullopt: none
/// came) by `policy` at `now`. A verified document's serial becomes the highest seen when it is higher.
[[nodiscard]] DocumentTrust verifyServerDocument(std::string_view body, const std::optional<std::string>& signatureFile,
                                                 const SigningPolicy& policy,
                                                 std::chrono::system_clock::time_point now);
