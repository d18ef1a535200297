// The writer against the launcher's own parser: strings byte-exact, numbers of the same kind, the layout.
#include "net/JsonWriter.hpp"

#include <gtest/gtest.h>

#include <sstream>

namespace {

JsonValue parseClean(const std::string& text) {
    std::ostringstream diagnostics;
    JsonValue value = JsonValue::parse(text, diagnostics);
    EXPECT_EQ(diagnostics.str(), "") << text;
    return value;
}

TEST(JsonWriter, WhatItWritesTheParserReadsBackUnchanged) {
    std::string everyByte;
    for (int b = 0; b < 256; ++b) {
        everyByte += static_cast<char>(b);
    }
    const std::string samples[] = {
        "",
        "plain",
        everyByte,
        "quote \" backslash \\ slash /",
        "\\u0041 is kept as six characters",
        "\\\\u0041 backslash before an escape",
        "\\uZZZZ not an escape, \\u12 too short, \\u00e9",
        "trailing backslash \\",
        "C:\\Games\\Varnhold\\Wow.exe",
        "line\nbreak\r\n\ttab\b\f",
        std::string("nul\0inside", 10),
        "\xd8\xb3\xd9\x84\xd8\xa7\xd9\x85 UTF-8",
    };
    for (const std::string& sample : samples) {
        JsonWriter writer;
        writer.beginArray();
        writer.value(std::string_view(sample));
        writer.endArray();
        const JsonValue parsed = parseClean(writer.text());
        ASSERT_EQ(parsed.arrayLength(), 1) << writer.text();
        ASSERT_EQ(parsed.arrayValue()->front().type(), JsonType::String);
        EXPECT_EQ(*parsed.arrayValue()->front().stringValue(), sample) << writer.text();
    }
    EXPECT_EQ(jsonStringLiteral("a\"b\\c\n\\u00e9"), "\"a\\\"b\\\\c\\n\\u00e9\"");

    // Numbers keep their kind: integers stay Integral, every double reads back as Floating.
    JsonWriter numbers;
    numbers.beginArray();
    numbers.value(std::int32_t{-2147483647 - 1});
    numbers.value(3.0);
    numbers.value(0.1);
    numbers.value(-2.5e-7);
    numbers.value(1e300);
    numbers.value(true);
    numbers.null();
    numbers.endArray();
    JsonValue parsed = parseClean(numbers.text());
    ASSERT_EQ(parsed.arrayLength(), 7) << numbers.text();
    EXPECT_EQ(parsed[0U].type(), JsonType::Integral);
    EXPECT_EQ(parsed[0U].asInt(), -2147483647 - 1);
    EXPECT_EQ(parsed[1U].type(), JsonType::Floating);
    EXPECT_EQ(parsed[1U].floatingValue(), 3.0);
    EXPECT_EQ(parsed[2U].floatingValue(), 0.1);
    EXPECT_DOUBLE_EQ(parsed[3U].floatingValue(), -2.5e-7);
    EXPECT_DOUBLE_EQ(parsed[4U].floatingValue(), 1e300);
    EXPECT_TRUE(parsed[5U].booleanValue());
    EXPECT_EQ(parsed[6U].type(), JsonType::Null);

    // Pretty printing: two-space indent, empty containers on one line.
    JsonWriter pretty;
    pretty.beginObject();
    pretty.key("a");
    pretty.beginArray();
    pretty.endArray();
    pretty.key("b");
    pretty.beginObject();
    pretty.key("c");
    pretty.value(std::int32_t{1});
    pretty.endObject();
    pretty.endObject();
    EXPECT_EQ(pretty.text(), "{\n  \"a\": [],\n  \"b\": {\n    \"c\": 1\n  }\n}\n");
}

} // namespace
