// Standard base64 with padding, written apart from the code under test, for signatures a test sends or forges.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace testing_support {

inline std::string base64(std::string_view bytes) {
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t left = bytes.size() - i;
        std::uint32_t group = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
        if (left > 1)
            group |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
        if (left > 2)
            group |= static_cast<unsigned char>(bytes[i + 2]);
        for (std::size_t k = 0; k < 4; ++k)
            text += k <= left ? alphabet[group >> (18 - 6 * k) & 0x3F] : '=';
    }
    return text;
}

} // namespace testing_support
