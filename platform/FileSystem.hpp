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

/// True when `path`, as written, names a network share ("\\host\share", "//host/share", "\\?\UNC\...") or a
/// device ("\\.\COM1", "\\?\...", or a name Windows reserves for one, "CON", "NUL", "COM1" ..., in any folder and
/// with any extension). Only the text is looked at, so nothing reaches the network; the same texts count on every
/// OS, so a server's document behaves alike on both.
[[nodiscard]] bool IsNetworkOrDevicePath(std::string_view path);

/// FullPath of `path` with every symbolic link (and junction) on its way replaced by what it points to, a link at
/// its end included, as the OS would follow them: where a file call on `path` really lands. Links are read, never
/// opened, so one that points to a network share does not reach it. Names that do not exist are kept as written.
/// Empty when FullPath is, when links loop, or when a link points to a network or device path.
[[nodiscard]] std::string ResolveLinks(std::string_view path);

} // namespace platform
