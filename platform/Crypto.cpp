// The part of the cryptography both backends share: writing a digest out as text.
#include "platform/Crypto.hpp"

namespace platform {

std::string Sha256Digest::hex() {
    static constexpr char digits[] = "0123456789abcdef";
    std::array<std::uint8_t, 32> digest{};
    if (!finish(digest))
        return {};
    std::string text;
    text.reserve(2 * digest.size());
    for (const std::uint8_t byte : digest) {
        text += digits[byte >> 4];
        text += digits[byte & 0xF];
    }
    return text;
}

} // namespace platform
