// Paths and folders as the launcher sees them: Windows-style server paths made to work on this OS.
#pragma once

#include <string>
#include <string_view>

namespace platform {

/// Full path of `path`, taken against the current folder. Both '/' and '\' separate folders (servers write
/// "Data\enUS\"); the result uses '/', "." and ".." are resolved lexically, and a trailing separator is kept.
/// The empty path gives the empty text.
[[nodiscard]] std::string FullPath(std::string_view path);

/// True when `path` names an existing folder (symbolic links followed).
[[nodiscard]] bool IsDirectory(const std::string& path);

/// Creates one folder; false when it could not be created (an existing one included).
bool CreateDirectory(const std::string& path);

/// True when the full path `path` lies inside the full path `folder` (lexically, after FullPath of both).
[[nodiscard]] bool IsInsideFolder(std::string_view path, std::string_view folder);

/// The process's current folder, with no trailing separator.
[[nodiscard]] std::string CurrentFolder();

} // namespace platform
