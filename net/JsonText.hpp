// Server texts made readable: the JSON escapes that `asText` puts back, decoded into the characters they stand for.
#pragma once

#include <string>
#include <string_view>

/// Decodes `asText` output for a person to read or for a file to hold: the seven two-character escapes become
/// their characters, and each stored "\uXXXX" (which `asText` gives with its backslash doubled) becomes that
/// character in UTF-8, a surrogate pair joined into one. A lone surrogate becomes U+FFFD and "\u0000" is dropped.
/// Every other byte, valid UTF-8 or not, is kept as it stands.
[[nodiscard]] std::string decodeJsonText(std::string_view escaped);
