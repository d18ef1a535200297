// Reading a text's bytes as characters: UTF-8 where it is valid, single bytes otherwise.
#include "ui/DisplayText.hpp"

#include <cstdint>
#include <string>

namespace {

// Length of the valid UTF-8 sequence at the start of `bytes` and its code point; 0 when it is not one.
std::size_t decodeUtf8(std::string_view bytes, std::uint32_t& codePoint) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
    const std::uint8_t lead = byte(0);
    std::size_t length = 0;
    std::uint32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1Fu;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0Fu;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07u;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (bytes.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0u) != 0x80u)
            return 0;
        codePoint = (codePoint << 6) | (byte(i) & 0x3Fu);
    }
    const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
    if (codePoint < minimum || codePoint > 0x10FFFF || surrogate)
        return 0;
    return length;
}

} // namespace

sf::String decodeDisplayText(std::string_view text) {
    std::basic_string<sf::Uint32> decoded;
    decoded.reserve(text.size());
    std::size_t at = 0;
    while (at < text.size()) {
        std::uint32_t codePoint = 0;
        // UTF-8 is kept as the characters it spells; a byte that is not UTF-8 (a Latin-1 "é") is widened on its own
        // instead of turning the rest of the text into replacement boxes.
        if (const std::size_t length = decodeUtf8(text.substr(at), codePoint); length > 0) {
            decoded.push_back(codePoint);
            at += length;
        } else {
            decoded.push_back(static_cast<std::uint8_t>(text[at]));
            ++at;
        }
    }
    return sf::String(decoded);
}
