// The MD5 digest of bytes in memory, as the lower-case hex text the file lists carry.
#pragma once

#include <openssl/evp.h>

#include <array>
#include <string>

namespace testing_support {

/// Worked out apart from the code under test, so a test can say what a file's checksum must be.
inline std::string md5Hex(const std::string& bytes) {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int size = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest.data(), &size, EVP_md5(), nullptr);
    constexpr const char* digits = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < size; ++i) {
        hex += digits[digest[i] >> 4];
        hex += digits[digest[i] & 0xF];
    }
    return hex;
}

} // namespace testing_support
