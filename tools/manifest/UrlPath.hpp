// Download addresses of the manifest: the checked base address and percent-encoded relative paths.
#pragma once

#include <optional>
#include <string>
#include <string_view>

/// `relativePath` ('/' separators) percent-encoded byte by byte: unreserved characters (A-Z a-z 0-9 - . _ ~)
/// and the '/' between segments stay, every other byte becomes %XX (upper-case hex), so spaces and UTF-8 names
/// reach any web server intact.
[[nodiscard]] std::string percentEncodePath(std::string_view relativePath);

struct BaseUrlCheck {
    std::optional<std::string> url; // the base address ending in '/', when it is usable
    std::string reason;             // why it is not, otherwise
};

/// Accepts only http:// and https:// addresses with a host, without spaces, control characters, '?' or '#'
/// (the launcher appends a query number of its own to every file's address). Adds the trailing '/'.
[[nodiscard]] BaseUrlCheck checkBaseUrl(std::string_view url);
