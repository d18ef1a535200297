// Percent-encoding of relative paths and the check of the base address given by the admin.
#include "tools/manifest/UrlPath.hpp"

#include <cctype>

namespace {

constexpr char upperHex[] = "0123456789ABCDEF";

bool isUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) {
            return false;
        }
    }
    return true;
}

} // namespace

std::string percentEncodePath(std::string_view relativePath) {
    std::string encoded;
    encoded.reserve(relativePath.size());
    for (const char c : relativePath) {
        const auto byte = static_cast<unsigned char>(c);
        if (isUnreserved(byte) || c == '/') {
            encoded += c;
        } else {
            encoded += '%';
            encoded += upperHex[byte >> 4];
            encoded += upperHex[byte & 0x0f];
        }
    }
    return encoded;
}

BaseUrlCheck checkBaseUrl(std::string_view url) {
    std::size_t schemeLength = 0;
    if (startsWithNoCase(url, "http://")) {
        schemeLength = 7;
    } else if (startsWithNoCase(url, "https://")) {
        schemeLength = 8;
    } else {
        return {std::nullopt, "the base address must start with http:// or https://"};
    }
    if (url.size() == schemeLength || url[schemeLength] == '/') {
        return {std::nullopt, "the base address names no host"};
    }
    for (const char c : url) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7f) {
            return {std::nullopt, "the base address holds a space or a control character"};
        }
        if (c == '?' || c == '#') {
            return {std::nullopt, "the base address must not hold '?' or '#': the launcher appends a query of its own"};
        }
    }
    std::string base(url);
    if (!base.ends_with('/')) {
        base += '/';
    }
    return {base, {}};
}
