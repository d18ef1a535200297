// Path checks for served files: reject by shape first, then by where the path really leads.
#include "tools/server/ServedPath.hpp"

#include <algorithm>
#include <system_error>

namespace {

// Checked on the decoded text, so "%2e%2e" and "%5c" are caught here as ".." and "\\". A trailing slash names a
// folder, which is never served but is no attack either; the caller answers it as missing.
[[nodiscard]] bool hasSafeShape(std::string_view relative) {
    if (!relative.empty() && relative.back() == '/')
        relative.remove_suffix(1);
    if (relative.empty())
        return true;
    if (relative.front() == '/')
        return false;
    const bool hasBadByte = std::any_of(relative.begin(), relative.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7f || c == '\\';
    });
    if (hasBadByte)
        return false;
    std::size_t start = 0;
    while (start <= relative.size()) {
        const auto slash = std::min(relative.find('/', start), relative.size());
        const std::string_view segment = relative.substr(start, slash - start);
        if (segment.empty() || segment == "." || segment == "..")
            return false;
        start = slash + 1;
    }
    return true;
}

[[nodiscard]] bool isInside(const std::filesystem::path& root, const std::filesystem::path& candidate) {
    auto rootIt = root.begin();
    auto candidateIt = candidate.begin();
    for (; rootIt != root.end(); ++rootIt, ++candidateIt) {
        if (candidateIt == candidate.end() || *rootIt != *candidateIt)
            return false;
    }
    return candidateIt != candidate.end();
}

} // namespace

ServedPath resolveServedPath(const std::filesystem::path& root, std::string_view relative) {
    if (!hasSafeShape(relative))
        return {ServedPath::Outcome::Refused, {}};
    if (relative.empty() || relative.back() == '/')
        return {ServedPath::Outcome::Missing, {}};

    std::error_code error;
    const auto resolved = std::filesystem::canonical(root / std::filesystem::path(relative), error);
    if (error)
        return {ServedPath::Outcome::Missing, {}};
    // A symbolic link inside the folder may point anywhere; only what it finally resolves to counts.
    if (!isInside(root, resolved))
        return {ServedPath::Outcome::Refused, {}};
    if (!std::filesystem::is_regular_file(resolved, error))
        return {ServedPath::Outcome::Missing, {}};
    return {ServedPath::Outcome::Found, resolved};
}
