// Tests of the lenient JSON parser: values, the diagnostic lines, substitutes and hostile documents.
#include "net/JsonValue.hpp"

#include "support/JsonKeys.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstddef>
#include <limits>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using testing_support::keysOf;

struct Parsed {
    JsonValue value;
    std::string diagnostics;
};

Parsed parseText(std::string_view text) {
    std::ostringstream diagnostics;
    JsonValue value = JsonValue::parse(text, diagnostics);
    return {std::move(value), diagnostics.str()};
}

std::string line(std::string_view prefix, std::string_view found) {
    return std::string(prefix) + std::string(found) + "'\n";
}

const std::string nul(1, '\0');

constexpr std::string_view unknownStart = "ERROR: Parse: Unknown starting character '";
constexpr std::string_view tooDeep = "ERROR: Parse: Nesting too deep, found '";
constexpr std::string_view expectedColon = "Error: Object: Expected colon, found '";
constexpr std::string_view expectedComma = "ERROR: Object: Expected comma, found '";
constexpr std::string_view arrayFault = "ERROR: Array: Expected ',' or ']', found '";
constexpr std::string_view hexFault = "ERROR: String: Expected hex character in unicode escape, found '";
constexpr std::string_view stringEnd = "ERROR: String: Unexpected end of text, found '";
constexpr std::string_view exponentFault = "ERROR: Number: Expected a number for exponent, found '";
constexpr std::string_view numberFault = "ERROR: Number: unexpected character '";
constexpr std::string_view boolFault = "ERROR: Bool: Expected 'true' or 'false', found '";
constexpr std::string_view nullFault = "ERROR: Null: Expected 'null', found '";

/// The single element of a one-element array, parsed from "[" + text + "]".
Parsed parseElement(std::string_view text) {
    Parsed parsed = parseText("[" + std::string(text) + "]");
    EXPECT_EQ(parsed.value.arrayLength(), 1) << text;
    if (parsed.value.arrayLength() == 1) {
        parsed.value = JsonValue(parsed.value[0U]);
    }
    return parsed;
}

std::size_t lineCount(const std::string& text) {
    std::size_t count = 0;
    for (const char c : text) {
        count += c == '\n' ? 1 : 0;
    }
    return count;
}

} // namespace

TEST(JsonParser, EmptyTextWhitespaceAndTrailingText) {
    const Parsed empty = parseText("");
    EXPECT_EQ(empty.value.type(), JsonType::Null);
    EXPECT_EQ(empty.diagnostics, line(unknownStart, nul));

    const Parsed blank = parseText(" \t\n\v\f\r");
    EXPECT_EQ(blank.value.type(), JsonType::Null);
    EXPECT_EQ(blank.diagnostics, line(unknownStart, nul));

    const Parsed trailing = parseText(" \n\t[1]  garbage {\"never\": read");
    EXPECT_EQ(trailing.value.arrayLength(), 1);
    EXPECT_EQ(trailing.diagnostics, "") << "what follows the first value is ignored";

    // Bytes of 0x80 and above are not white space.
    const Parsed highByte = parseText("\xa0[1]");
    EXPECT_EQ(highByte.value.type(), JsonType::Null);
    EXPECT_EQ(highByte.diagnostics, line(unknownStart, "\xa0"));

    for (const char* text : {"{}", "{ }", "{\n}"}) {
        const Parsed object = parseText(text);
        EXPECT_EQ(object.value.type(), JsonType::Object) << text;
        EXPECT_TRUE(object.value.objectValue()->empty()) << text;
        EXPECT_EQ(object.diagnostics, "") << text;
    }
    for (const char* text : {"[]", "[ ]", "[\t]"}) {
        const Parsed array = parseText(text);
        EXPECT_EQ(array.value.arrayLength(), 0) << text;
        EXPECT_EQ(array.diagnostics, "") << text;
    }
}

TEST(JsonParser, ValuesThatCannotStartAreReportedWithTheirCharacter) {
    for (const char* text : {"+1", ".5", "}", "]", ",", ":", "x", "'a'"}) {
        const Parsed parsed = parseText(text);
        EXPECT_EQ(parsed.value.type(), JsonType::Null) << text;
        EXPECT_EQ(parsed.diagnostics, line(unknownStart, std::string(1, text[0]))) << text;
    }
    const Parsed embeddedNul = parseText(std::string_view("\0[1]", 4));
    EXPECT_EQ(embeddedNul.value.type(), JsonType::Null);
    EXPECT_EQ(embeddedNul.diagnostics, line(unknownStart, nul));
}

TEST(JsonParser, ObjectsKeepOneMemberPerKeyInByteOrder) {
    const Parsed duplicate = parseText(R"({"a":1,"a":2})");
    EXPECT_EQ(keysOf(duplicate.value), std::vector<std::string>{"a"});
    EXPECT_EQ(JsonValue(duplicate.value)["a"].asInt(), 2);
    EXPECT_EQ(duplicate.diagnostics, "");

    const Parsed ordered = parseText("{\"b\":1, \"a\":2, \"\xc3\xa9\":3, \"B\":4, \"ab\":5}");
    EXPECT_EQ(keysOf(ordered.value), (std::vector<std::string>{"B", "a", "ab", "b", "\xc3\xa9"}));

    // Keys that are no strings are stored under the empty name; escaped keys under their escaped form.
    const Parsed oddKeys = parseText(R"({null:1, true:2})");
    EXPECT_EQ(keysOf(oddKeys.value), std::vector<std::string>{""});
    EXPECT_EQ(JsonValue(oddKeys.value)[""].asInt(), 2);
    EXPECT_EQ(oddKeys.diagnostics, "");
    const Parsed objectKey = parseText(R"({{"x":1}:3, [1]:4, 5 :6})");
    EXPECT_EQ(keysOf(objectKey.value), std::vector<std::string>{""});
    EXPECT_EQ(JsonValue(objectKey.value)[""].asInt(), 6);
    const Parsed escapedKey = parseText(R"({"a\tb":1, "q\"":2})");
    EXPECT_EQ(keysOf(escapedKey.value), (std::vector<std::string>{"a\\tb", "q\\\""}));

    const Parsed nested = parseText(R"({"realms":[{"name":"Varnhold","online":true}],"lang":1})");
    JsonValue document = nested.value;
    EXPECT_EQ(document["realms"][0U]["name"].asText(), "Varnhold");
    EXPECT_TRUE(document["realms"][0U]["online"].booleanValue());
    EXPECT_EQ(document["lang"].asInt(), 1);
    EXPECT_EQ(nested.diagnostics, "");
}

TEST(JsonParser, BrokenObjectsKeepTheirMembersAndLeaveThePosition) {
    // The trailing comma makes the key step meet '}', then the colon check; the '}' stays unread, which the
    // enclosing array then reports.
    const Parsed trailingComma = parseText(R"({"a":1,})");
    EXPECT_EQ(keysOf(trailingComma.value), std::vector<std::string>{"a"});
    EXPECT_EQ(trailingComma.diagnostics, line(unknownStart, "}") + line(expectedColon, "}"));
    const Parsed inArray = parseText(R"([{"a":1,}])");
    EXPECT_EQ(inArray.value.arrayLength(), 0);
    EXPECT_EQ(inArray.diagnostics, line(unknownStart, "}") + line(expectedColon, "}") + line(arrayFault, "}"));

    const Parsed noColon = parseText(R"({"a" 1})");
    EXPECT_EQ(noColon.value.type(), JsonType::Object);
    EXPECT_TRUE(noColon.value.objectValue()->empty());
    EXPECT_EQ(noColon.diagnostics, line(expectedColon, "1"));

    const Parsed noComma = parseText(R"({"a":1 "b":2})");
    EXPECT_EQ(keysOf(noComma.value), std::vector<std::string>{"a"});
    EXPECT_EQ(noComma.diagnostics, line(expectedComma, "\""));

    const Parsed unclosed = parseText(R"({"a":1)");
    EXPECT_EQ(keysOf(unclosed.value), std::vector<std::string>{"a"});
    EXPECT_EQ(unclosed.diagnostics, line(numberFault, nul) + line(expectedComma, nul))
        << "the end of the text is no number terminator, and the object then reports it too";

    // A broken member value still lands in the object under its key.
    const Parsed badValue = parseText(R"({"a":+,"b":2})");
    EXPECT_EQ(keysOf(badValue.value), std::vector<std::string>{"a"});
    EXPECT_EQ(badValue.diagnostics, line(unknownStart, "+") + line(expectedComma, "+"));
}

TEST(JsonParser, ArraysGrowAndDropEverythingOnAFault) {
    const Parsed trailingComma = parseText("[1,]");
    ASSERT_EQ(trailingComma.value.arrayLength(), 2);
    EXPECT_EQ(JsonValue(trailingComma.value)[0U].asInt(), 1);
    EXPECT_EQ(JsonValue(trailingComma.value)[1].type(), JsonType::Null);
    EXPECT_EQ(trailingComma.diagnostics, line(unknownStart, "]"));

    const Parsed missingComma = parseText("[1 2]");
    EXPECT_EQ(missingComma.value.type(), JsonType::Array);
    EXPECT_EQ(missingComma.value.arrayLength(), 0);
    EXPECT_EQ(missingComma.diagnostics, line(arrayFault, "2"));

    const Parsed plus = parseText("[+1]");
    EXPECT_EQ(plus.value.arrayLength(), 0);
    EXPECT_EQ(plus.diagnostics, line(unknownStart, "+") + line(arrayFault, "+"));

    const Parsed letters = parseText("[12abc]");
    EXPECT_EQ(letters.value.arrayLength(), 0);
    EXPECT_EQ(letters.diagnostics, line(numberFault, "a") + line(arrayFault, "b"));

    const Parsed unclosed = parseText("[1, 2");
    EXPECT_EQ(unclosed.value.arrayLength(), 0);
    EXPECT_EQ(unclosed.diagnostics, line(numberFault, nul) + line(arrayFault, nul));

    const Parsed mixed = parseText(R"([ "a" , 2 , 3.5 , true , false , null , [ ] , { } ])");
    ASSERT_EQ(mixed.value.arrayLength(), 8);
    const JsonValue::ArraySeq& elements = *mixed.value.arrayValue();
    EXPECT_EQ(elements[0].asText(), "a");
    EXPECT_EQ(elements[1].asInt(), 2);
    EXPECT_EQ(elements[2].floatingValue(), 3.5);
    EXPECT_TRUE(elements[3].booleanValue());
    EXPECT_EQ(elements[4].type(), JsonType::Boolean);
    EXPECT_EQ(elements[5].type(), JsonType::Null);
    EXPECT_EQ(elements[6].arrayLength(), 0);
    EXPECT_EQ(elements[7].type(), JsonType::Object);
    EXPECT_EQ(mixed.diagnostics, "");
}

TEST(JsonParser, NumbersNeedATerminatorAndConvertByLongestPrefix) {
    const Parsed bare = parseText("42");
    EXPECT_EQ(bare.value.type(), JsonType::Null);
    EXPECT_EQ(bare.diagnostics, line(numberFault, nul));
    const Parsed spaced = parseText("42 ");
    EXPECT_EQ(spaced.value.type(), JsonType::Integral);
    EXPECT_EQ(spaced.value.asInt(), 42);
    EXPECT_EQ(spaced.diagnostics, "");

    const std::vector<std::pair<const char*, std::int32_t>> integrals = {
        {"42", 42},
        {"-7", -7},
        {"007", 7},
        {"0", 0},
        {"-0", 0},
        {"1-2", 1},
        {"2147483647", 2147483647},
        {"-2147483648", std::numeric_limits<std::int32_t>::min()},
        {"5\t", 5},
        {"6\n", 6}};
    for (const auto& [text, expected] : integrals) {
        const Parsed parsed = parseElement(text);
        EXPECT_EQ(parsed.value.type(), JsonType::Integral) << text;
        EXPECT_EQ(parsed.value.asInt(), expected) << text;
        EXPECT_EQ(parsed.diagnostics, "") << text;
    }

    const std::vector<std::pair<const char*, double>> floatings = {
        {"3.5", 3.5},        {"1e+2", 100.0},         {"1E2", 100.0},       {"25e-1", 2.5},
        {"1.2.3", 1.2},      {"-.5", -0.5},           {"1.", 1.0},          {"0.25e1", 2.5},
        {"-2e0", -2.0},      {"1e007", 1e7},          {"1e-400", 0.0},      {"0e999999", 0.0},
        {"1e400", HUGE_VAL}, {"-1.5e400", -HUGE_VAL}, {"0.001e310", 1e307}, {"1.5e-2147483648", 0.0}};
    for (const auto& [text, expected] : floatings) {
        const Parsed parsed = parseElement(text);
        EXPECT_EQ(parsed.value.type(), JsonType::Floating) << text;
        EXPECT_DOUBLE_EQ(parsed.value.floatingValue(), expected) << text;
        EXPECT_EQ(parsed.diagnostics, "") << text;
    }

    // Mantissas beyond the double range saturate as the C library's conversion would.
    const std::string zeros(400, '0');
    EXPECT_EQ(parseElement("1" + zeros + ".0").value.floatingValue(), HUGE_VAL);
    EXPECT_EQ(parseElement("-1" + zeros + ".0").value.floatingValue(), -HUGE_VAL);
    EXPECT_EQ(parseElement("0." + zeros + "1").value.floatingValue(), 0.0);
    // Such a mantissa still scales by its exponent, and never into NaN.
    EXPECT_DOUBLE_EQ(parseElement("1" + zeros + ".0e-400").value.floatingValue(), 1.0);
    EXPECT_DOUBLE_EQ(parseElement("-1" + zeros + ".0e-390").value.floatingValue(), -1e10);
    EXPECT_DOUBLE_EQ(parseElement("0." + zeros + "1e402").value.floatingValue(), 10.0);
    EXPECT_EQ(parseElement("1" + zeros + ".0e-2000").value.floatingValue(), 0.0);
    EXPECT_EQ(parseElement("1" + zeros + ".0e2000").value.floatingValue(), HUGE_VAL);

    const Parsed inObject = parseText(R"({"a":1,"b":2.5})");
    JsonValue object = inObject.value;
    EXPECT_EQ(object["a"].asInt(), 1);
    EXPECT_EQ(object["b"].floatingValue(), 2.5);

    // The position ends just past the offending character: here on the ']', which closes the array.
    const Parsed badExponent = parseText("[1e5x]");
    EXPECT_EQ(badExponent.value.arrayLength(), 1);
    EXPECT_EQ(badExponent.diagnostics, line(exponentFault, "x"));
}

TEST(JsonParser, NumbersThatCannotBeConvertedBecomeNullWithALine) {
    // The enclosing array carries on: each gives one Null element and one Number line.
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"-", line(numberFault, "]")},
        {"-.", line(numberFault, ".")},
        {"--5", line(numberFault, "-")},
        {"2147483648", line(numberFault, "8")},
        {"-2147483649", line(numberFault, "9")},
        {"99999999999999999999999", line(numberFault, "9")},
        {"3000000000e-3", line(numberFault, "0")},
        {"1e", line(exponentFault, "]")},
        {"1e+", line(exponentFault, "]")},
        {"1.5e-", line(exponentFault, "]")},
        {"1e2147483648", line(exponentFault, "8")},
        {"1e99999999999999", line(exponentFault, "9")},
    };
    for (const auto& [text, expected] : cases) {
        const Parsed parsed = parseElement(text);
        EXPECT_EQ(parsed.value.type(), JsonType::Null) << text;
        EXPECT_EQ(parsed.diagnostics, expected) << text;
    }
    const Parsed lone = parseText("- ");
    EXPECT_EQ(lone.value.type(), JsonType::Null);
    EXPECT_EQ(lone.diagnostics, line(numberFault, " "));
}

TEST(JsonParser, StringsDecodeEscapesAndKeepRawBytes) {
    const Parsed tab = parseText(R"("a\tb")");
    EXPECT_EQ(*tab.value.stringValue(), "a\tb");
    EXPECT_EQ(tab.value.asText(), "a\\tb");

    const Parsed all = parseText(R"("\"\\\/\b\f\n\r\t")");
    EXPECT_EQ(*all.value.stringValue(), "\"\\/\b\f\n\r\t");

    const Parsed unicode = parseText(R"("\u0041\uBEEF\ubeef")");
    EXPECT_EQ(*unicode.value.stringValue(), "\\u0041\\uBEEF\\ubeef");
    EXPECT_EQ(parseText(R"("\u0041")").value.asText(), "\\\\u0041");

    const Parsed unknownEscape = parseText(R"("a\qb")");
    EXPECT_EQ(*unknownEscape.value.stringValue(), "a\\b");
    EXPECT_EQ(unknownEscape.diagnostics, "");

    const std::string raw = std::string("\"\x01\n\x7f\xc3\xa9\xff", 7) + nul + "\"";
    const Parsed rawBytes = parseText(raw);
    EXPECT_EQ(*rawBytes.value.stringValue(), raw.substr(1, raw.size() - 2));
    EXPECT_EQ(rawBytes.diagnostics, "");

    const Parsed badHex = parseText(R"("ab\u00G1")");
    EXPECT_EQ(badHex.value.type(), JsonType::String);
    EXPECT_EQ(*badHex.value.stringValue(), "");
    EXPECT_EQ(badHex.diagnostics, line(hexFault, "G"));
    // The position stays on the 'u', which the enclosing array then reports.
    const Parsed badHexInArray = parseText(R"(["\u12x4"])");
    EXPECT_EQ(badHexInArray.value.arrayLength(), 0);
    EXPECT_EQ(badHexInArray.diagnostics, line(hexFault, "x") + line(arrayFault, "u"));
    const Parsed nulInEscape = parseText(std::string_view("\"\\u0\0\"", 6));
    EXPECT_EQ(nulInEscape.diagnostics, line(hexFault, nul));
}

TEST(JsonParser, TextEndingInsideAStringKeepsWhatWasRead) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"\"abc", "abc"},  {"\"", ""},          {"\"ab\\", "ab"},     {"\"ab\\n", "ab\n"},
        {"\"ab\\u", "ab"}, {"\"ab\\u00", "ab"}, {"\"ab\\u004", "ab"}, {"\"\xc3", "\xc3"}};
    for (const auto& [text, expected] : cases) {
        const Parsed parsed = parseText(text);
        ASSERT_EQ(parsed.value.type(), JsonType::String) << text;
        EXPECT_EQ(*parsed.value.stringValue(), expected) << text;
        EXPECT_EQ(parsed.diagnostics, line(stringEnd, nul)) << text;
    }
    // A non-hex character before the end is the hex fault, not the end of the text.
    EXPECT_EQ(parseText("\"\\u0G").diagnostics, line(hexFault, "G"));

    const Parsed inArray = parseText(R"(["complete", "cut)");
    EXPECT_EQ(inArray.value.arrayLength(), 0);
    EXPECT_EQ(inArray.diagnostics, line(stringEnd, nul) + line(arrayFault, nul));
    const Parsed asKey = parseText(R"({"cut)");
    EXPECT_EQ(asKey.diagnostics, line(stringEnd, nul) + line(expectedColon, nul));
}

TEST(JsonParser, WordsMustBeSpelledOut) {
    EXPECT_TRUE(parseText("true").value.booleanValue());
    EXPECT_EQ(parseText("false").value.type(), JsonType::Boolean);
    EXPECT_FALSE(parseText("false").value.booleanValue());
    const Parsed followed = parseText("trueX");
    EXPECT_TRUE(followed.value.booleanValue());
    EXPECT_EQ(followed.diagnostics, "") << "what follows the word is left to the enclosing step";
    EXPECT_EQ(parseText("[trueX]").diagnostics, line(arrayFault, "X"));

    const Parsed tru = parseText("tru");
    EXPECT_EQ(tru.value.type(), JsonType::Null);
    EXPECT_EQ(tru.diagnostics, line(boolFault, "tru"));
    EXPECT_EQ(parseText("falsy, more").diagnostics, line(boolFault, "falsy"));
    EXPECT_EQ(parseText("[tRUE]").diagnostics, line(boolFault, "tRUE]") + line(arrayFault, "t"));

    const Parsed null = parseText("null");
    EXPECT_EQ(null.value.type(), JsonType::Null);
    EXPECT_EQ(null.diagnostics, "");
    EXPECT_EQ(parseText("nul").diagnostics, line(nullFault, "nul"));
    EXPECT_EQ(parseText("[nan]").diagnostics, line(nullFault, "nan]") + line(arrayFault, "n"));
    const Parsed nullInArray = parseText("[null,null]");
    EXPECT_EQ(nullInArray.value.arrayLength(), 2);
    EXPECT_EQ(nullInArray.diagnostics, "");
}

TEST(JsonParser, DeepNestingIsRefusedBeyondTheLimit) {
    constexpr int limit = 512;
    const std::string deepest = std::string(limit, '[') + std::string(limit, ']');
    const Parsed accepted = parseText(deepest);
    EXPECT_EQ(accepted.diagnostics, "");
    const JsonValue* level = &accepted.value;
    int depth = 0;
    while (level->arrayLength() == 1) {
        level = &(*level->arrayValue())[0U];
        ++depth;
    }
    EXPECT_EQ(depth, limit - 1);
    EXPECT_EQ(level->arrayLength(), 0);

    // One more level: the innermost bracket is refused, and every enclosing array reports it and unwinds.
    const std::string tooDeepText = std::string(limit + 1, '[') + std::string(limit + 1, ']');
    const Parsed refused = parseText(tooDeepText);
    EXPECT_EQ(refused.value.arrayLength(), 0);
    std::string expected = line(tooDeep, "[");
    for (int i = 0; i < limit; ++i) {
        expected += line(arrayFault, "[");
    }
    EXPECT_EQ(refused.diagnostics, expected);

    const Parsed objects = parseText([] {
        std::string text;
        for (int i = 0; i <= limit; ++i) {
            text += "{\"a\":";
        }
        return text + "1" + std::string(limit + 1, '}');
    }());
    EXPECT_EQ(objects.diagnostics.substr(0, line(tooDeep, "{").size()), line(tooDeep, "{"));
    EXPECT_EQ(keysOf(objects.value), std::vector<std::string>{"a"}) << "objects keep what they stored";
}

TEST(JsonParser, HostileDocumentsFinishInLinearTime) {
    constexpr std::size_t million = 1000000;
    const std::vector<std::string> documents = {
        std::string(million, '['),
        std::string(million, '{'),
        std::string(million, '[') + std::string(million, ']'),
        [] {
            std::string text;
            for (std::size_t i = 0; i < million / 8; ++i) {
                text += "[{\"k\":";
            }
            return text;
        }(),
        "[" + std::string(million, '1') + "]",
        "\"" + std::string(million, '\\'),
        [] {
            std::string text = "[";
            for (std::size_t i = 0; i < million / 2; ++i) {
                text += "1,";
            }
            return text + "1]";
        }(),
    };
    for (const std::string& text : documents) {
        const auto start = std::chrono::steady_clock::now();
        const Parsed parsed = parseText(text);
        const auto elapsed = std::chrono::steady_clock::now() - start;
        // Generous enough for sanitizer builds; a quadratic parser would take minutes here.
        EXPECT_LT(elapsed, std::chrono::seconds(10)) << text.substr(0, 16);
        EXPECT_LE(lineCount(parsed.diagnostics), 2U * 512U + 2U) << text.substr(0, 16);
    }
    const Parsed longArray = parseText(documents.back());
    EXPECT_EQ(longArray.value.arrayLength(), static_cast<std::int32_t>(million / 2 + 1));
    EXPECT_EQ(longArray.diagnostics, "");
}

TEST(JsonParser, ServerDocumentReadsThroughTheLookups) {
    const Parsed parsed = parseText(R"({
        "version": 3, "lang": 1, "realmlist": "set realmlist logon.varnhold.example\r\n",
        "realmlist_locations": ["Data/enUS/realmlist.wtf", "realmlist.wtf"],
        "files": [
            {"location": "Data/patch-V.MPQ", "md5": "0123456789abcdef0123456789abcdef",
             "url": "http://127.0.0.1:8642/files/patch-V.MPQ", "required": 1, "game_data": 1},
            {"location": "Data/patch-W.MPQ", "md5": "fedcba9876543210fedcba9876543210",
             "url": "http://127.0.0.1:8642/files/patch-W.MPQ", "required": 0, "game_data": 1}
        ],
        "removes": ["Data/old.MPQ"],
        "realms": [{"name": "Varnhold", "status": "Online"}],
        "links": {"website": "http://127.0.0.1/", "discord": "http://127.0.0.1/discord"},
        "news": "Welcome\nto \u0056arnhold"
    })");
    EXPECT_EQ(parsed.diagnostics, "");
    JsonValue document = parsed.value;
    EXPECT_EQ(document["version"].asInt(), 3);
    EXPECT_EQ(document["realmlist"].asText(), "set realmlist logon.varnhold.example\\r\\n");
    EXPECT_EQ(document["realmlist_locations"].arrayLength(), 2);
    EXPECT_EQ(document["files"].arrayLength(), 2);
    EXPECT_EQ(document["files"][1]["md5"].asText(), "fedcba9876543210fedcba9876543210");
    EXPECT_EQ(document["files"][0U]["required"].asInt(), 1);
    EXPECT_EQ(document["links"]["discord"].asText(), "http://127.0.0.1/discord");
    EXPECT_EQ(document["news"].asText(), "Welcome\\nto \\\\u0056arnhold");
    EXPECT_EQ(document["missing"].asText(), "");
    EXPECT_EQ(document["missing"].arrayLength(), -1);
    EXPECT_EQ(document.objectValue()->count("missing"), 1U) << "the lookup added what it looked for";
}

TEST(JsonParser, DefaultDiagnosticsGoToStandardError) {
    testing::internal::CaptureStderr();
    const JsonValue value = JsonValue::parse("[1 2]");
    const std::string written = testing::internal::GetCapturedStderr();
    EXPECT_EQ(value.arrayLength(), 0);
    EXPECT_EQ(written, line(arrayFault, "2"));
}
