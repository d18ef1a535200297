// A memoised matcher: '**' may try every split of the path, so plain backtracking could go exponential.
#include "tools/manifest/GlobPattern.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace {

char foldCase(char c, bool ignoreCase) {
    if (ignoreCase && c >= 'A' && c <= 'Z') {
        return static_cast<char>(c - 'A' + 'a');
    }
    return c;
}

char otherCase(char c) {
    if (c >= 'A' && c <= 'Z') {
        return static_cast<char>(c - 'A' + 'a');
    }
    if (c >= 'a' && c <= 'z') {
        return static_cast<char>(c - 'a' + 'A');
    }
    return c;
}

struct ClassMatch {
    bool matched;
    std::size_t next; // pattern index just past the closing ']'
};

// Matches `c` against the class that opens at `open`; nothing when the class is never closed, so that the
// '[' counts as a literal character.
std::optional<ClassMatch> matchClass(std::string_view pattern, std::size_t open, char c, bool ignoreCase) {
    std::size_t i = open + 1;
    bool negated = false;
    if (i < pattern.size() && (pattern[i] == '!' || pattern[i] == '^')) {
        negated = true;
        ++i;
    }
    bool matched = false;
    bool first = true;
    while (i < pattern.size() && (pattern[i] != ']' || first)) {
        first = false;
        if (i + 2 < pattern.size() && pattern[i + 1] == '-' && pattern[i + 2] != ']') {
            // A range's ends are taken as written: folded, "[X-a]" would become the empty "[x-a]" and lose '_'.
            // Ignoring case, the character matches when either of its cases lies in the range.
            const auto inRange = [&](char x) {
                const auto u = static_cast<unsigned char>(x);
                return u >= static_cast<unsigned char>(pattern[i]) && u <= static_cast<unsigned char>(pattern[i + 2]);
            };
            if (inRange(c) || (ignoreCase && inRange(otherCase(c)))) {
                matched = true;
            }
            i += 3;
        } else {
            if (foldCase(c, ignoreCase) == foldCase(pattern[i], ignoreCase)) {
                matched = true;
            }
            ++i;
        }
    }
    if (i >= pattern.size()) {
        return std::nullopt;
    }
    return ClassMatch{matched != negated, i + 1};
}

class Matcher {
public:
    Matcher(std::string_view pattern, std::string_view path, bool ignoreCase)
        : m_pattern(pattern), m_path(path), m_ignoreCase(ignoreCase),
          m_memo((pattern.size() + 1) * (path.size() + 1), Unknown) {}

    bool match(std::size_t p, std::size_t s) {
        std::uint8_t& memo = m_memo[p * (m_path.size() + 1) + s];
        if (memo == Unknown) {
            memo = compute(p, s) ? Yes : No;
        }
        return memo == Yes;
    }

private:
    static constexpr std::uint8_t Unknown = 0;
    static constexpr std::uint8_t Yes = 1;
    static constexpr std::uint8_t No = 2;

    bool compute(std::size_t p, std::size_t s) {
        if (p == m_pattern.size()) {
            return s == m_path.size();
        }
        const char c = m_pattern[p];
        if (c == '*') {
            return matchStar(p, s);
        }
        if (s == m_path.size()) {
            return false;
        }
        const char actual = m_path[s];
        if (c == '?') {
            return actual != '/' && match(p + 1, s + 1);
        }
        if (c == '[') {
            if (const auto cls = matchClass(m_pattern, p, actual, m_ignoreCase)) {
                return actual != '/' && cls->matched && match(cls->next, s + 1);
            }
        }
        return foldCase(c, m_ignoreCase) == foldCase(actual, m_ignoreCase) && match(p + 1, s + 1);
    }

    bool matchStar(std::size_t p, std::size_t s) {
        std::size_t after = p;
        while (after < m_pattern.size() && m_pattern[after] == '*') {
            ++after;
        }
        if (after - p >= 2) {
            // A whole "**/" segment may also stand for no folder at all: "a/**/b" matches "a/b".
            const bool segmentStart = p == 0 || m_pattern[p - 1] == '/';
            if (segmentStart && after < m_pattern.size() && m_pattern[after] == '/' && match(after + 1, s)) {
                return true;
            }
            for (std::size_t k = s; k <= m_path.size(); ++k) {
                if (match(after, k)) {
                    return true;
                }
            }
            return false;
        }
        for (std::size_t k = s; k <= m_path.size(); ++k) {
            if (match(after, k)) {
                return true;
            }
            if (k < m_path.size() && m_path[k] == '/') {
                break;
            }
        }
        return false;
    }

    std::string_view m_pattern;
    std::string_view m_path;
    bool m_ignoreCase;
    std::vector<std::uint8_t> m_memo;
};

} // namespace

GlobPattern::GlobPattern(std::string_view pattern, bool ignoreCase) : m_ignoreCase(ignoreCase) {
    m_pattern.reserve(pattern.size());
    for (const char c : pattern) {
        m_pattern += c == '\\' ? '/' : c;
    }
    // Paths are relative to the scanned folder, so "./Data/*" and "/Data/*" mean "Data/*".
    for (;;) {
        if (m_pattern.starts_with("./")) {
            m_pattern.erase(0, 2);
        } else if (m_pattern.starts_with('/')) {
            m_pattern.erase(0, 1);
        } else {
            break;
        }
    }
}

bool GlobPattern::matches(std::string_view path) const {
    Matcher matcher(m_pattern, path, m_ignoreCase);
    return matcher.match(0, 0);
}

bool anyMatches(const std::vector<GlobPattern>& patterns, std::string_view path) {
    for (const auto& pattern : patterns) {
        if (pattern.matches(path)) {
            return true;
        }
    }
    return false;
}
