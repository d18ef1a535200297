// Decoding of the escapes in server texts.
#include "net/JsonText.hpp"

#include <cstdint>
#include <optional>

namespace {

constexpr std::size_t doubledEscapeLength = 7; // the doubled backslash, 'u' and four hex digits
constexpr std::size_t hexDigits = 4;
constexpr char32_t replacementCharacter = 0xFFFD;

std::optional<char32_t> hexValue(std::string_view digits) {
    if (digits.size() < hexDigits)
        return std::nullopt;
    char32_t value = 0;
    for (const char c : digits.substr(0, hexDigits)) {
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0)
            return std::nullopt;
        value = value * 16 + static_cast<char32_t>(digit);
    }
    return value;
}

// The code unit of a stored "\uXXXX" at the start of `text`, as asText gives it ("\\uXXXX").
std::optional<char32_t> unicodeEscapeAt(std::string_view text) {
    if (text.size() < doubledEscapeLength || text.substr(0, 3) != "\\\\u")
        return std::nullopt;
    return hexValue(text.substr(3));
}

bool isHighSurrogate(char32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool isLowSurrogate(char32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

void appendUtf8(std::string& out, char32_t c) {
    const auto put = [&out](std::uint32_t byte) { out.push_back(static_cast<char>(byte)); };
    const auto code = static_cast<std::uint32_t>(c);
    if (code < 0x80) {
        put(code);
    } else if (code < 0x800) {
        put(0xC0 | (code >> 6));
        put(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        put(0xE0 | (code >> 12));
        put(0x80 | ((code >> 6) & 0x3F));
        put(0x80 | (code & 0x3F));
    } else {
        put(0xF0 | (code >> 18));
        put(0x80 | ((code >> 12) & 0x3F));
        put(0x80 | ((code >> 6) & 0x3F));
        put(0x80 | (code & 0x3F));
    }
}

char simpleEscape(char letter) {
    switch (letter) {
    case 'b':
        return '\b';
    case 't':
        return '\t';
    case 'n':
        return '\n';
    case 'f':
        return '\f';
    case 'r':
        return '\r';
    default: // the backslash and the double quote stand for themselves
        return letter;
    }
}

} // namespace

std::string decodeJsonText(std::string_view escaped) {
    std::string out;
    out.reserve(escaped.size());
    std::size_t at = 0;
    while (at < escaped.size()) {
        if (const std::optional<char32_t> unit = unicodeEscapeAt(escaped.substr(at))) {
            at += doubledEscapeLength;
            if (isHighSurrogate(*unit)) {
                const std::optional<char32_t> low = unicodeEscapeAt(escaped.substr(at));
                if (low && isLowSurrogate(*low)) {
                    at += doubledEscapeLength;
                    appendUtf8(out, 0x10000 + ((*unit - 0xD800) << 10) + (*low - 0xDC00));
                    continue;
                }
                appendUtf8(out, replacementCharacter);
            } else if (isLowSurrogate(*unit)) {
                appendUtf8(out, replacementCharacter);
            } else if (*unit != 0) { // a NUL would cut the text short where it is handed on as a C string
                appendUtf8(out, *unit);
            }
            continue;
        }
        const char c = escaped[at];
        if (c == '\\' && at + 1 < escaped.size()) {
            out.push_back(simpleEscape(escaped[at + 1]));
            at += 2;
            continue;
        }
        out.push_back(c);
        ++at;
    }
    return out;
}
