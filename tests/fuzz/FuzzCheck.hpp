// What the fuzz targets share: a loud failure that libFuzzer keeps the input for, and a strict UTF-8 check.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace fuzz {

[[noreturn]] inline void fail(const char* why) {
    // An abort makes libFuzzer keep the input, and makes the corpus replay fail with the input's name printed.
    std::fputs(why, stderr);
    std::fputc('\n', stderr);
    std::abort();
}

/// Length of the well-formed UTF-8 sequence (RFC 3629) at `at`, 0 when there is none. Written here from the RFC,
/// not shared with the decoders under test, so that a fault in theirs cannot hide in both.
inline std::size_t utf8SequenceAt(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[at + i]); };
    const std::size_t left = text.size() - at;
    const std::uint8_t lead = byte(0);
    if (lead < 0x80)
        return 1;
    const auto continuation = [&](std::size_t i) { return i < left && (byte(i) & 0xC0) == 0x80; };
    if (lead >= 0xC2 && lead <= 0xDF)
        return continuation(1) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        if (!continuation(1) || !continuation(2))
            return 0;
        const std::uint8_t second = byte(1);
        if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F))
            return 0; // overlong, or a surrogate
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        if (!continuation(1) || !continuation(2) || !continuation(3))
            return 0;
        const std::uint8_t second = byte(1);
        if ((lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F))
            return 0; // overlong, or above U+10FFFF
        return 4;
    }
    return 0;
}

inline bool isValidUtf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = utf8SequenceAt(text, at);
        if (length == 0)
            return false;
        at += length;
    }
    return true;
}

} // namespace fuzz
