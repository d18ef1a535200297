// The one request to the community's launcher server that fetches the server document.
#pragma once

#include "net/JsonValue.hpp"

#include <chrono>
#include <cstddef>
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

/// POSTs "get_data.php?<random>" to `baseAddress` (http or https, the certificate checked); on a 2xx status parses
/// the body into `serverData` and returns true, otherwise (no answer in time, a body over the cap, a close of the
/// launcher asked for meanwhile) leaves `serverData` unchanged and returns false.
[[nodiscard]] bool fetchServerData(JsonValue& serverData, const std::string& baseAddress = ServerBaseAddress(),
                                   const ServerRequestOptions& options = {});
