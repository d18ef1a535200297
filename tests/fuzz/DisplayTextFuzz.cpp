// Fuzz target for the two readers of text bytes: the window's (characters for SFML) and the dialogs' (UTF-8 for
// dialog programs). Both keep valid UTF-8 and widen any other byte as Latin-1, so apart from the control
// characters that the dialogs' reader replaces they must give the same characters.
#include "FuzzCheck.hpp"
#include "platform/linux/DisplayText.hpp"
#include "ui/DisplayText.hpp"

#include <SFML/System/String.hpp>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

bool isCharacter(sf::Uint32 c) {
    return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

bool hasControlCharacter(std::string_view text) {
    for (const char c : text) {
        const auto byte = static_cast<std::uint8_t>(c);
        if (byte < 0x20 || byte == 0x7F)
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const sf::String shown = decodeDisplayText(bytes);
    if (shown.getSize() > bytes.size())
        fuzz::fail("more characters than bytes");
    for (const sf::Uint32 c : shown) {
        if (!isCharacter(c))
            fuzz::fail("a surrogate or a value above U+10FFFF in the window's text");
    }
    const std::basic_string<sf::Uint8> backToUtf8 = shown.toUtf8();
    if (fuzz::isValidUtf8(bytes) &&
        std::string_view(reinterpret_cast<const char*>(backToUtf8.data()), backToUtf8.size()) != bytes)
        fuzz::fail("valid UTF-8 did not read as the characters it spells");

    const std::string dialogText = platform::detail::toDisplayUtf8(bytes);
    if (!fuzz::isValidUtf8(dialogText))
        fuzz::fail("the dialogs' text is not valid UTF-8");
    for (const char c : dialogText) {
        const auto byte = static_cast<std::uint8_t>(c);
        if ((byte < 0x20 && c != '\n' && c != '\t') || byte == 0x7F)
            fuzz::fail("a control character reached a dialog program");
    }
    if (!hasControlCharacter(bytes) && sf::String::fromUtf8(dialogText.begin(), dialogText.end()) != shown)
        fuzz::fail("the window and the dialogs read the same bytes as different characters");
    return 0;
}
