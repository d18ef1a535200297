// Fuzz target for the Range header reader of varnhold-server: whatever the header, the answer stays inside the file.
#include "FuzzCheck.hpp"
#include "tools/server/ByteRange.hpp"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace {

constexpr std::size_t sizeBytes = sizeof(std::uint64_t);

bool sameRange(const ByteRange& a, const ByteRange& b) {
    return a.kind == b.kind && a.first == b.first && a.last == b.last;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The first byte shifts the file size that the next eight give, so small files come up as often as huge ones;
    // the rest is the header.
    if (size < 1 + sizeBytes)
        return 0;
    std::uint64_t fileSize = 0;
    std::memcpy(&fileSize, data + 1, sizeBytes);
    fileSize >>= data[0] % 64;
    const std::string_view header(reinterpret_cast<const char*>(data + 1 + sizeBytes), size - 1 - sizeBytes);

    const ByteRange range = parseByteRange(header, fileSize);
    switch (range.kind) {
    case ByteRange::Kind::Partial: {
        if (range.first > range.last || range.last >= fileSize)
            fuzz::fail("a partial range reaches outside the file");
        if (range.length() == 0 || range.length() > fileSize)
            fuzz::fail("a partial range has an impossible length");
        // What the Content-Range header then says must read back as the same range.
        const std::string canonical = "bytes=" + std::to_string(range.first) + "-" + std::to_string(range.last);
        if (!sameRange(parseByteRange(canonical, fileSize), range))
            fuzz::fail("the range written back reads differently");
        break;
    }
    case ByteRange::Kind::Whole:
    case ByteRange::Kind::Unsatisfiable:
        if (range.first != 0 || range.last != 0)
            fuzz::fail("a whole or unsatisfiable answer carries a span");
        break;
    default:
        fuzz::fail("an unknown kind of answer");
    }
    if (!sameRange(parseByteRange(std::string(header), fileSize), range))
        fuzz::fail("the same header reads differently a second time");
    return 0;
}
