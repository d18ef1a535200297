// The one place where the launcher's UTF-8 texts meet Windows' UTF-16 ones.
#pragma once

#include <string>
#include <string_view>

namespace platform::detail {

/// `text` in UTF-16. Valid UTF-8 is read as UTF-8; any other text is read in the ANSI code page, the encoding of
/// older servers' Windows paths and messages. Empty for an empty text or one too long to convert.
[[nodiscard]] std::wstring toWide(std::string_view text);

/// `text` in UTF-16, read as UTF-8 whatever it holds: each byte that is not part of valid UTF-8 becomes U+FFFD.
[[nodiscard]] std::wstring toWideReplacingInvalid(std::string_view text);

/// `text` in UTF-8; an unpaired surrogate becomes U+FFFD.
[[nodiscard]] std::string toUtf8(std::wstring_view text);

/// What Windows says about the error code `code`, in UTF-8, without the line end it ends with.
[[nodiscard]] std::string systemErrorText(unsigned long code);

} // namespace platform::detail
