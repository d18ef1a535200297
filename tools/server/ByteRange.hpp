// The single byte range that a Range request header asks of a file of known size.
#pragma once

#include <cstdint>
#include <string_view>

/// What to answer to a Range header: the whole file (no header, one we do not serve, or one we ignore),
/// the inclusive span [first, last], or 416.
struct ByteRange {
    enum class Kind { Whole, Partial, Unsatisfiable };
    Kind kind = Kind::Whole;
    std::uint64_t first = 0;
    std::uint64_t last = 0;

    [[nodiscard]] std::uint64_t length() const { return last - first + 1; }
};

/// Reads "bytes=a-b", "bytes=a-" and "bytes=-n" against `size`; the end is clamped to the file. Several ranges
/// or a header that cannot be read give Whole (a server may always ignore Range); a start at or beyond the end,
/// or an empty suffix, gives Unsatisfiable.
[[nodiscard]] ByteRange parseByteRange(std::string_view header, std::uint64_t size);
