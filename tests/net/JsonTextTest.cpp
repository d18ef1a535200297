// Server texts made readable: every escape that asText puts back, decoded once.
#include "net/JsonText.hpp"
#include "net/JsonValue.hpp"

#include <gtest/gtest.h>

namespace {

// What a person sees of the JSON string literal `json` (written with its quotes).
std::string shown(const std::string& json) {
    JsonValue array = JsonValue::parse("[" + json + "]");
    return decodeJsonText(array[0u].asText());
}

TEST(JsonText, TheSevenEscapesBecomeTheirCharacters) {
    EXPECT_EQ(shown(R"("Welcome")"), "Welcome");
    EXPECT_EQ(shown(R"("")"), "");
    EXPECT_EQ(shown(R"("Say \"hi\"")"), "Say \"hi\"");
    EXPECT_EQ(shown(R"("a\tb\\c\/d")"), "a\tb\\c/d");
    EXPECT_EQ(shown(R"("set realmlist a\r\nset patchlist b")"), "set realmlist a\r\nset patchlist b");
    EXPECT_EQ(shown(R"("\b\f")"), "\b\f");
    // A backslash that is text stays one, also before "n" or "u".
    EXPECT_EQ(shown(R"("C:\\games\\new")"), "C:\\games\\new");
    EXPECT_EQ(shown(R"("\\u12")"), "\\u12");
}

TEST(JsonText, UnicodeEscapesBecomeUtf8) {
    EXPECT_EQ(shown(R"("Caf\u00e9")"), "Caf\xc3\xa9");
    EXPECT_EQ(shown(R"("\u0633\u0644\u0627\u0645")"), "\xd8\xb3\xd9\x84\xd8\xa7\xd9\x85");
    EXPECT_EQ(shown(R"("\u00e9t\u00C9 \u0041BC")"), "\xc3\xa9t\xc3\x89 ABC");
    // A pair of escapes for one character beyond 16 bits is joined; halves without their partner are replaced.
    EXPECT_EQ(shown(R"("\ud83d\ude00!")"), "\xf0\x9f\x98\x80!");
    EXPECT_EQ(shown(R"("\ud83dx")"), "\xef\xbf\xbdx");
    EXPECT_EQ(shown(R"("\ude00\ud83d")"), "\xef\xbf\xbd\xef\xbf\xbd");
    // A zero would end the text where it is handed on as a C string: it is left out.
    EXPECT_EQ(shown(R"("a\u0000b")"), "ab");
    // Raw bytes, UTF-8 or not, are left for the display to read.
    EXPECT_EQ(shown("\"caf\xe9 \xd8\xb3\""), "caf\xe9 \xd8\xb3");
}

} // namespace
