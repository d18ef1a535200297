// Fuzz target for the manifest's glob patterns: any pattern against any path answers, in time, consistently.
#include "FuzzCheck.hpp"
#include "tools/manifest/GlobPattern.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

bool hasMetacharacter(std::string_view pattern) {
    return pattern.find_first_of("*?[") != std::string_view::npos;
}

bool hasNegatedClass(std::string_view pattern) {
    return pattern.find("[!") != std::string_view::npos || pattern.find("[^") != std::string_view::npos;
}

std::string withCaseSwapped(std::string_view text) {
    std::string swapped(text);
    for (char& c : swapped) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return swapped;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The pattern runs to the first line feed, the path is the rest.
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\n');
    const std::string_view pattern = input.substr(0, split);
    const std::string_view path = split == std::string_view::npos ? std::string_view() : input.substr(split + 1);

    const GlobPattern exact(pattern);
    const GlobPattern anyCase(pattern, true);
    const bool matched = exact.matches(path);
    const bool matchedAnyCase = anyCase.matches(path);
    // A negated class may exclude the other case of a letter, so only there can ignoring case lose a match.
    if (matched && !matchedAnyCase && !hasNegatedClass(pattern))
        fuzz::fail("ignoring case lost a match");
    if (matchedAnyCase != anyCase.matches(withCaseSwapped(path)))
        fuzz::fail("ignoring case, the case of the path still matters");
    if (matched != exact.matches(path))
        fuzz::fail("the same question answered differently");
    // With nothing to expand, a pattern is the one path it names.
    if (!hasMetacharacter(pattern) && (!exact.matches(exact.text()) || matched != (path == exact.text())))
        fuzz::fail("a pattern without metacharacters is not an exact comparison");
    return 0;
}
