// Telling a web address, or any other address with a scheme, from a path, for the shells of both backends.
#pragma once

#include <string_view>

namespace platform::detail {

/// True when `target` starts with a URL scheme and its colon ("https:", "steam:"); a drive letter ("C:\Games")
/// does not count.
[[nodiscard]] bool hasUrlScheme(std::string_view target);

} // namespace platform::detail
