// The scheme test both shells share: a letter, then letters, digits, '+', '-' or '.', up to the first colon.
#include "platform/UrlScheme.hpp"

#include <algorithm>
#include <cctype>
#include <cstddef>

namespace platform::detail {

namespace {

// One letter is a Windows drive ("C:\Games\Wow.exe"), not a scheme.
constexpr std::size_t minSchemeLength = 2;

} // namespace

bool hasUrlScheme(std::string_view target) {
    const std::size_t colon = target.find(':');
    if (colon == std::string_view::npos || colon < minSchemeLength ||
        !std::isalpha(static_cast<unsigned char>(target.front()))) {
        return false;
    }
    return std::all_of(target.begin(), target.begin() + static_cast<std::ptrdiff_t>(colon), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
    });
}

} // namespace platform::detail
