// The one request to the community's launcher server that fetches the server document.
#pragma once

#include "net/JsonValue.hpp"

#include <string>

/// Host and port of a launcher server base address such as "http://127.0.0.1:8642/"; port 0 means the scheme's
/// default. Empty host when the address cannot be read.
struct ServerAddress {
    std::string host;
    unsigned short port = 0;
};
[[nodiscard]] ServerAddress parseServerAddress(const std::string& baseAddress);

/// The base address this build talks to (the VARNHOLD_SERVER_URL build setting).
[[nodiscard]] const std::string& ServerBaseAddress();

/// POSTs "get_data.php?<random>" to `baseAddress`; on a 2xx status parses the body into `serverData` and returns
/// true, otherwise leaves `serverData` unchanged and returns false.
[[nodiscard]] bool fetchServerData(JsonValue& serverData, const std::string& baseAddress = ServerBaseAddress());
