// The signed documents and keys that the build made with minisign (tests/CMakeLists.txt), for the signature tests.
#pragma once

#include "net/Minisign.hpp"
#include "support/TempFolder.hpp"

#include <filesystem>
#include <string>

namespace testing_support {

/// The folder with the keys ("current", "next", "stranger": .pub and .sec) and "document.json" signed in several
/// ways; empty when the build had no minisign.
inline std::filesystem::path signingFolder() {
    return VARNHOLD_TEST_SIGNING;
}

/// The public key `name` ("current", "next" or "stranger"), as the launcher reads it.
inline MinisignKey signingKey(const std::string& name) {
    return parseMinisignKey(readFile(signingFolder() / (name + ".pub"))).value_or(MinisignKey{});
}

} // namespace testing_support
