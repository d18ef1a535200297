// Paths in the form Windows' file calls take them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform::detail {

/// Full path of `path` (UTF-8, either separator) in UTF-16 with '\' separators, through GetFullPathNameW.
/// Empty for the empty path or when the system cannot make it full.
[[nodiscard]] std::wstring fullWidePath(std::string_view path);

/// fullWidePath(path) for the file calls: when it is too long for their classic limit (MAX_PATH, less the 12
/// characters a folder name must leave free), prefixed with "\\?\" so that the limit does not apply.
[[nodiscard]] std::wstring systemPath(std::string_view path);

/// `path` as the rest of the launcher sees paths: UTF-8, '/' for '\\', and no "\\?\\" prefix.
[[nodiscard]] std::string launcherPath(std::wstring_view path);

/// The attributes (FILE_ATTRIBUTE_…) of what `path` (a systemPath) names, symbolic links followed to their end;
/// empty when nothing is there.
[[nodiscard]] std::optional<unsigned long> attributesBehindLinks(const std::wstring& path);

} // namespace platform::detail
