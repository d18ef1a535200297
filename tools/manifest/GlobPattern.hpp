// Glob patterns over relative paths with '/' separators: '*', '**', '?' and [..] classes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

/// One glob. '*' and '?' never cross '/', '**' does ("a/**/b" also matches "a/b"), [..] is a character class
/// ([!..] or [^..] negates, a-z ranges). A '\' in the pattern is a separator like '/', so admins may write
/// Windows-looking patterns such as "Data\*.MPQ"; a literal metacharacter is written as a class: "[*]".
class GlobPattern {
public:
    explicit GlobPattern(std::string_view pattern, bool ignoreCase = false);

    /// Whether the whole relative path (with '/' separators) matches.
    [[nodiscard]] bool matches(std::string_view path) const;
    [[nodiscard]] const std::string& text() const noexcept { return m_pattern; }

private:
    std::string m_pattern; // normalised: '/' separators, no leading "./" or '/'
    bool m_ignoreCase;
};

/// Whether any of `patterns` matches `path`.
[[nodiscard]] bool anyMatches(const std::vector<GlobPattern>& patterns, std::string_view path);
