// Range header reading for file responses: single ranges only, clamped to the file, never trusted blindly.
#include "tools/server/ByteRange.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>
#include <optional>

namespace {

[[nodiscard]] std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// A position too large for 64 bits is still a valid position, just beyond any file: saturate instead of failing.
[[nodiscard]] std::optional<std::uint64_t> parsePosition(std::string_view text) {
    if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    std::uint64_t value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec == std::errc::result_out_of_range)
        return std::numeric_limits<std::uint64_t>::max();
    if (ec != std::errc() || ptr != text.data() + text.size())
        return std::nullopt;
    return value;
}

[[nodiscard]] bool startsWithUnit(std::string_view header) {
    constexpr std::string_view unit = "bytes=";
    if (header.size() < unit.size())
        return false;
    for (std::size_t i = 0; i < unit.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(header[i])) != unit[i])
            return false;
    }
    return true;
}

} // namespace

ByteRange parseByteRange(std::string_view header, std::uint64_t size) {
    constexpr ByteRange whole{};
    constexpr ByteRange unsatisfiable{ByteRange::Kind::Unsatisfiable, 0, 0};

    header = trim(header);
    if (!startsWithUnit(header))
        return whole;
    const std::string_view rangeText = trim(header.substr(6));
    // Several ranges would need a multipart body that no downloader here asks for; the whole file is a valid answer.
    if (rangeText.find(',') != std::string_view::npos)
        return whole;
    const auto dash = rangeText.find('-');
    if (dash == std::string_view::npos)
        return whole;
    const std::string_view firstText = trim(rangeText.substr(0, dash));
    const std::string_view lastText = trim(rangeText.substr(dash + 1));

    if (firstText.empty()) {
        const auto suffix = parsePosition(lastText);
        if (!suffix)
            return whole;
        if (*suffix == 0 || size == 0)
            return unsatisfiable;
        return {ByteRange::Kind::Partial, size - std::min(*suffix, size), size - 1};
    }

    const auto first = parsePosition(firstText);
    if (!first)
        return whole;
    std::uint64_t last = std::numeric_limits<std::uint64_t>::max();
    if (!lastText.empty()) {
        const auto parsedLast = parsePosition(lastText);
        if (!parsedLast || *parsedLast < *first)
            return whole;
        last = *parsedLast;
    }
    if (*first >= size)
        return unsatisfiable;
    return {ByteRange::Kind::Partial, *first, std::min(last, size - 1)};
}
