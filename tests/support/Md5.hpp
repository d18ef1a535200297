// The MD5 digest of bytes in memory, as the lower-case hex text the file lists carry, worked out by the system's
// own cryptography: OpenSSL on Linux, CNG on Windows.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <bcrypt.h>
#else
#include <openssl/evp.h>
#endif

#include <array>
#include <string>

namespace testing_support {

/// Worked out apart from the code under test, so a test can say what a file's checksum must be.
inline std::string md5Hex(const std::string& bytes) {
    std::array<unsigned char, 16> digest{};
#ifdef _WIN32
    BCRYPT_ALG_HANDLE md5 = nullptr;
    if (BCryptOpenAlgorithmProvider(&md5, BCRYPT_MD5_ALGORITHM, nullptr, 0) != 0) {
        return {};
    }
    const NTSTATUS status =
        BCryptHash(md5, nullptr, 0, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())),
                   static_cast<ULONG>(bytes.size()), digest.data(), static_cast<ULONG>(digest.size()));
    BCryptCloseAlgorithmProvider(md5, 0);
    if (status != 0) {
        return {};
    }
#else
    unsigned int size = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &size, EVP_md5(), nullptr) != 1) {
        return {};
    }
#endif
    constexpr const char* digits = "0123456789abcdef";
    std::string hex;
    for (const unsigned char byte : digest) {
        hex += digits[byte >> 4];
        hex += digits[byte & 0xF];
    }
    return hex;
}

} // namespace testing_support
