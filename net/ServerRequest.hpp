// The one request to the community's launcher server that fetches the server document.
#pragma once

#include "net/JsonValue.hpp"

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

/// Scheme with host, and port, of a launcher server base address such as "http://127.0.0.1:8642/"; port 0 means the
/// scheme's default. Any path is not part of it. Empty host when the address cannot be read.
struct ServerAddress {
    std::string host;
    unsigned short port = 0;
};
[[nodiscard]] ServerAddress parseServerAddress(const std::string& baseAddress);

/// The base address this build talks to (the VARNHOLD_SERVER_URL build setting).
[[nodiscard]] const std::string& ServerBaseAddress();

/// Limits of the server request. The defaults are the launcher's; tests shorten them.
struct ServerRequestOptions {
    static constexpr std::chrono::seconds defaultTimeout{15};
    static constexpr std::size_t defaultMaxBodyBytes = 16 * 1024 * 1024;

    std::chrono::milliseconds timeout = defaultTimeout; // connection and whole reply together
    std::size_t maxBodyBytes = defaultMaxBodyBytes;     // a longer reply counts as no answer
    std::string caFile; // certificates to trust instead of the system's store; empty in the launcher
};

/// The name of the header in which a server may send the document's signature: the minisign signature file, base64.
inline constexpr const char* signatureHeader = "X-Varnhold-Signature";

/// The server's answer to the document request, as it came.
struct ServerReply {
    std::string body; // the exact bytes received: nothing has parsed them
    /// The document's minisign signature file, when asked for: from the signature header (empty when the header
    /// held no base64), else from beside the document. nullopt when neither gave one.
    std::optional<std::string> signature;
    std::string url; // the address that was asked, with its query number
};

/// Whether fetchServerReply also fetches the document's signature.
enum class SignatureFetch { No, Yes };

/// POSTs "get_data.php?<random>" to `baseAddress` (http or https, the certificate checked); the answer when its status
/// is 2xx, nullopt otherwise (no answer in time, a body over the cap, a close of the launcher asked for meanwhile).
/// With SignatureFetch::Yes and no signature header in the answer, then GETs the signature file beside the document
/// over the same connection: the same address with ".minisig" appended to its path (the query stays); a signature
/// that cannot be had (no 2xx answer, longer than a signature file can be) leaves `signature` empty.
[[nodiscard]] std::optional<ServerReply> fetchServerReply(const std::string& baseAddress = ServerBaseAddress(),
                                                          const ServerRequestOptions& options = {},
                                                          SignatureFetch signature = SignatureFetch::No);

/// fetchServerReply, then the body parsed into `serverData`: true on a 2xx answer, otherwise `serverData` stays
/// unchanged and the result is false.
[[nodiscard]] bool fetchServerData(JsonValue& serverData, const std::string& baseAddress = ServerBaseAddress(),
                                   const ServerRequestOptions& options = {});
