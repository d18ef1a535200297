// Replaces a file's contents all at once, so a web server never serves a half-written document.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

struct WriteResult {
    bool ok = false;
    std::string error; // what failed, with the path, when !ok
};

/// Writes `contents` to a temporary file beside `path`, flushes it to disk and renames it over `path`.
/// The new file keeps the permissions of the one it replaces (or 0666 less the umask for a new one), so the web
/// server can still read it.
[[nodiscard]] WriteResult writeFileAtomically(const std::filesystem::path& path, std::string_view contents);
