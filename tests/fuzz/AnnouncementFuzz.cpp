// Fuzz target for the decoder of the announcement, realm lines and realm list: any bytes decode without a crash,
// never grow, keep valid UTF-8 valid, and undo what escapeText wrote.
#include "FuzzCheck.hpp"
#include "net/JsonText.hpp"
#include "net/JsonValue.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    // The input as asText hands it over.
    const std::string decoded = decodeJsonText(text);
    // Every escape is longer than what it stands for; the rest is copied byte for byte.
    if (decoded.size() > text.size())
        fuzz::fail("decoding made the text longer");
    if (fuzz::isValidUtf8(text) && !fuzz::isValidUtf8(decoded))
        fuzz::fail("valid UTF-8 decoded into invalid UTF-8");

    // The input as a stored string: escapeText writes the escapes that decoding must undo. A stored "\u" is the
    // one exception, as the parser keeps such escapes undecoded for this decoder to finish.
    if (text.find("\\u") == std::string_view::npos && decodeJsonText(escapeText(text)) != text)
        fuzz::fail("decoding does not undo escapeText");
    return 0;
}
