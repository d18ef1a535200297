// Mapping a decoded request path onto a file inside the served folder, refusing anything that leaves it.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

/// The file a request names, or why there is none: Refused for a path that is malformed or leads outside the
/// folder (403), Missing for one that does not name an existing regular file inside it (404).
struct ServedPath {
    enum class Outcome { Found, Refused, Missing };
    Outcome outcome = Outcome::Missing;
    std::filesystem::path file;
};

/// `root` must already be canonical. `relative` is the request path after the prefix, percent-decoded once.
[[nodiscard]] ServedPath resolveServedPath(const std::filesystem::path& root, std::string_view relative);
