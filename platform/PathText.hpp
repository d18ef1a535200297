// Small tests on path texts that more than one part of the platform layer makes the same way.
#pragma once

#include <cstddef>
#include <string_view>

namespace platform::detail {

/// Servers write Windows paths: '\' separates names as well as '/'.
[[nodiscard]] inline bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

/// Equal but for the case of ASCII letters, the way NTFS and FAT compare names (and Windows its device names).
[[nodiscard]] inline bool sameIgnoringAsciiCase(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

} // namespace platform::detail
