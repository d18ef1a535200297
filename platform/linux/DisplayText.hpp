// Turning the launcher's byte texts into UTF-8 that dialog programs and fonts can show.
#pragma once

#include <string>
#include <string_view>

namespace platform::detail {

/// `bytes` as valid UTF-8: valid sequences stay, any other byte is read as Latin-1 (the Windows code page the
/// server texts come from agrees with it on letters), "\r\n" and a lone '\r' become '\n', and the other control
/// characters except '\t' become U+FFFD, so that a NUL never cuts an argument short.
[[nodiscard]] std::string toDisplayUtf8(std::string_view bytes);

} // namespace platform::detail
