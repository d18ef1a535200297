// Two different 128-byte blocks with one MD5 (Wang and Yu's collision of 2004): a file an attacker can put in the
// place of a listed one without its MD5 changing.
#pragma once

#include <string>

namespace testing_support {

inline std::string bytesOfHex(const std::string& hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

/// The twin that is not the listed file.
inline const std::string plantedTwin = bytesOfHex(
    "d131dd02c5e6eec4693d9a0698aff95c2fcab58712467eab4004583eb8fb7f8955ad340609f4b30283e488832571415a085125e8f7cdc99f"
    "d91dbdf280373c5bd8823e3156348f5bae6dacd436c919c6dd53e2b487da03fd02396306d248cda0e99f33420f577ee8ce54b67080a80d1e"
    "c69821bcb6a8839396f9652b6ff72a70");
/// The listed file.
inline const std::string genuineTwin = bytesOfHex(
    "d131dd02c5e6eec4693d9a0698aff95c2fcab50712467eab4004583eb8fb7f8955ad340609f4b30283e4888325f1415a085125e8f7cdc99f"
    "d91dbd7280373c5bd8823e3156348f5bae6dacd436c919c6dd53e23487da03fd02396306d248cda0e99f33420f577ee8ce54b67080280d1e"
    "c69821bcb6a8839396f965ab6ff72a70");
inline constexpr const char* twinsMd5 = "79054025255fb1a26e4bc422aef54eb4";
inline constexpr const char* plantedTwinSha256 = "8d12236e5c4ed9f4e790db4d868fd5c399df267e18ff65c1107c328228cffc98";
inline constexpr const char* genuineTwinSha256 = "b9fef2a8fc93b05e7701e97196fda6c4fbeea25ff8e64fdfee7015eca8fa617d";

} // namespace testing_support
