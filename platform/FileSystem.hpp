// Paths and folders as the launcher sees them: Windows-style server paths made to work on this OS.
#pragma once

#include <string>
#include <string_view>

namespace platform {

/// Full path of `path`, taken against the current folder. Both '/' and '\' separate folders (servers write
/// "Data\enUS\"); the result uses '/', "." and ".." are resolved lexically, and a trailing separator is kept.
/// The empty path gives the empty text, and so does a relative path when the current folder cannot be read.
/// There is no length limit.
[[nodiscard]] std::string FullPath(std::string_view path);

/// FullPath of `path`, where a name that does not exist is replaced by the one in its folder that differs from it
/// only in the case of ASCII letters: a game folder copied from Windows may hold "WoW.exe" or "DATA" where the
/// server says "Wow.exe" and "Data". Names that exist as written stay, and so do names with no such twin; of
/// several twins the first in byte order is taken. Where the file system ignores case already, FullPath itself.
[[nodiscard]] std::string FullPathIgnoringCase(std::string_view path);

/// True when `path` names an existing folder (symbolic links followed). `path` goes through FullPath first.
[[nodiscard]] bool IsDirectory(const std::string& path);

/// Creates one folder; false when it could not be created (an existing one included). `path` goes through FullPath
/// first, so "Data\enUS" makes the folder enUS inside Data.
bool CreateDirectory(const std::string& path);

/// True when the full path `path` lies inside the full path `folder` (lexically, after FullPath of both).
/// Strictly inside: the folder itself is not inside itself, since a file location must name something below it.
[[nodiscard]] bool IsInsideFolder(std::string_view path, std::string_view folder);

/// The process's current folder, with no trailing separator (the root is "/"); empty when it cannot be read.
[[nodiscard]] std::string CurrentFolder();

} // namespace platform
