// Tests of the JSON value: its types, the lookups that add what they look for, ownership and text escaping.
#include "net/JsonValue.hpp"

#include "support/JsonKeys.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using testing_support::keysOf;

// A tree with every kind of payload, to copy and move around.
JsonValue sampleTree() {
    JsonValue root;
    root["name"] = JsonValue::makeString("Varnhold");
    root["version"] = JsonValue::makeIntegral(3);
    root["ratio"] = JsonValue::makeFloating(0.5);
    root["online"] = JsonValue::makeBoolean(true);
    root["files"][1]["url"] = JsonValue::makeString("http://127.0.0.1/a.mpq");
    return root;
}

} // namespace

TEST(JsonValue, TypesStartEmptyAndSetTypeKeepsOnlyTheSameType) {
    const JsonValue none;
    EXPECT_EQ(none.type(), JsonType::Null);
    EXPECT_EQ(none.stringValue(), nullptr);
    EXPECT_EQ(none.objectValue(), nullptr);
    EXPECT_EQ(none.arrayValue(), nullptr);

    ASSERT_NE(JsonValue::make(JsonType::Object).objectValue(), nullptr);
    EXPECT_TRUE(JsonValue::make(JsonType::Object).objectValue()->empty());
    ASSERT_NE(JsonValue::make(JsonType::Array).arrayValue(), nullptr);
    EXPECT_EQ(JsonValue::make(JsonType::Array).arrayLength(), 0);
    ASSERT_NE(JsonValue::make(JsonType::String).stringValue(), nullptr);
    EXPECT_EQ(*JsonValue::make(JsonType::String).stringValue(), "");
    EXPECT_EQ(JsonValue::make(JsonType::Floating).type(), JsonType::Floating);
    EXPECT_EQ(JsonValue::make(JsonType::Floating).floatingValue(), 0.0);
    EXPECT_EQ(JsonValue::make(JsonType::Integral).type(), JsonType::Integral);
    EXPECT_EQ(JsonValue::make(JsonType::Boolean).type(), JsonType::Boolean);
    EXPECT_FALSE(JsonValue::make(JsonType::Boolean).booleanValue());
    EXPECT_EQ(JsonValue::make(JsonType::Null).type(), JsonType::Null);

    JsonValue number = JsonValue::makeIntegral(17);
    number.setType(JsonType::Integral);
    EXPECT_EQ(number.asInt(), 17) << "the same type keeps the value";
    number.setType(JsonType::Floating);
    EXPECT_EQ(number.type(), JsonType::Floating);
    number.setType(JsonType::Integral);
    EXPECT_EQ(number.asInt(), 0) << "a type change discards the old value";

    JsonValue text = JsonValue::makeString("kept");
    text.setType(JsonType::String);
    EXPECT_EQ(*text.stringValue(), "kept");
    text.setType(JsonType::Null);
    EXPECT_EQ(text.type(), JsonType::Null);
    EXPECT_EQ(text.stringValue(), nullptr);
}

TEST(JsonValue, ReadersGiveEmptyResultsForOtherTypes) {
    const JsonValue floating = JsonValue::makeFloating(3.0);
    EXPECT_EQ(floating.asInt(), 0);
    EXPECT_EQ(floating.asText(), "");
    EXPECT_EQ(floating.arrayLength(), -1);
    EXPECT_EQ(floating.floatingValue(), 3.0);

    const JsonValue digits = JsonValue::makeString("12");
    EXPECT_EQ(digits.asInt(), 0);
    EXPECT_EQ(digits.asText(), "12");
    EXPECT_EQ(digits.arrayLength(), -1);

    const JsonValue flag = JsonValue::makeBoolean(true);
    EXPECT_EQ(flag.asInt(), 0);
    EXPECT_EQ(flag.asText(), "");
    EXPECT_TRUE(flag.booleanValue());
    EXPECT_EQ(flag.floatingValue(), 0.0);

    const JsonValue integral = JsonValue::makeIntegral(-5);
    EXPECT_EQ(integral.asInt(), -5);
    EXPECT_EQ(integral.floatingValue(), 0.0) << "an Integral is no Floating";
    EXPECT_FALSE(integral.booleanValue());
    EXPECT_EQ(JsonValue::make(JsonType::Object).arrayLength(), -1);
    EXPECT_EQ(JsonValue::make(JsonType::Object).asText(), "");
}

TEST(JsonValue, KeyLookupTurnsAnyValueIntoAnObjectAndAddsTheMember) {
    JsonValue document;
    JsonValue& music = document["music"];
    EXPECT_EQ(document.type(), JsonType::Object);
    EXPECT_EQ(keysOf(document), std::vector<std::string>{"music"});
    EXPECT_EQ(music.type(), JsonType::Null);
    EXPECT_EQ(music.asText(), "");
    EXPECT_EQ(music.asInt(), 0);
    EXPECT_EQ(music.arrayLength(), -1);

    music = JsonValue::makeString("theme.mp3");
    EXPECT_EQ(document["music"].asText(), "theme.mp3") << "a second lookup finds the same member";
    EXPECT_EQ(document.objectValue()->size(), 1U);

    for (JsonValue other : {JsonValue::makeIntegral(4), JsonValue::makeString("x"), JsonValue::make(JsonType::Array),
                            JsonValue::makeBoolean(true)}) {
        other["key"];
        EXPECT_EQ(other.type(), JsonType::Object);
        EXPECT_EQ(keysOf(other), std::vector<std::string>{"key"});
    }

    // A member reached through a chain stays where it was put: references into the map are stable.
    JsonValue root;
    JsonValue& first = root["a"];
    for (int i = 0; i < 100; ++i) {
        root["k" + std::to_string(i)] = JsonValue::makeIntegral(i);
    }
    first = JsonValue::makeIntegral(7);
    EXPECT_EQ(root["a"].asInt(), 7);
}

TEST(JsonValue, IndexLookupLengthensWithNullsAndKeepsElementsInPlace) {
    JsonValue list = JsonValue::make(JsonType::Array);
    JsonValue& fourth = list[3];
    EXPECT_EQ(list.arrayLength(), 4);
    for (const JsonValue& element : *list.arrayValue()) {
        EXPECT_EQ(element.type(), JsonType::Null);
    }
    fourth = JsonValue::makeIntegral(9);
    list[1];
    EXPECT_EQ(list.arrayLength(), 4) << "an index below the length does not lengthen";

    // Growing the sequence never moves what is already in it.
    const JsonValue* before = &list[3];
    list[20000] = JsonValue::makeIntegral(1);
    EXPECT_EQ(&list[3], before);
    EXPECT_EQ(list[3].asInt(), 9);
    EXPECT_EQ(list.arrayLength(), 20001);

    JsonValue object = sampleTree();
    object[0U];
    EXPECT_EQ(object.type(), JsonType::Array);
    EXPECT_EQ(object.arrayLength(), 1);
}

TEST(JsonValue, KeysAreOrderedByUnsignedBytes) {
    JsonValue object;
    for (const char* key : {"b", "\xff", "ab", "\x80", "a", "Z", "", "\x01"}) {
        object[key] = JsonValue::makeString(key);
    }
    EXPECT_EQ(keysOf(object), (std::vector<std::string>{"", "\x01", "Z", "a", "ab", "b", "\x80", "\xff"}));
    object["b"] = JsonValue::makeIntegral(2);
    EXPECT_EQ(object.objectValue()->size(), 8U) << "storing under an existing key replaces";
    EXPECT_EQ(object["b"].asInt(), 2);
}

TEST(JsonValue, CopiesAreDeepAndIndependent) {
    const JsonValue original = sampleTree();
    JsonValue copy(original);
    copy["files"][1]["url"] = JsonValue::makeString("changed");
    copy["name"] = JsonValue::makeIntegral(1);
    EXPECT_EQ(JsonValue(original)["files"][1]["url"].asText(), "http://127.0.0.1/a.mpq");
    EXPECT_EQ(original.objectValue()->at("name").asText(), "Varnhold");
    EXPECT_NE(copy.objectValue(), original.objectValue());

    JsonValue assigned = JsonValue::makeString("old");
    assigned = original;
    EXPECT_EQ(assigned.type(), JsonType::Object);
    EXPECT_EQ(assigned["version"].asInt(), 3);
    EXPECT_EQ(assigned["ratio"].floatingValue(), 0.5);
    EXPECT_TRUE(assigned["online"].booleanValue());
    EXPECT_EQ(assigned["files"].arrayLength(), 2);

    const JsonValue& self = assigned;
    assigned = self;
    EXPECT_EQ(assigned["name"].asText(), "Varnhold") << "self-assignment keeps the value";
}

TEST(JsonValue, MovesLeaveTheSourceNull) {
    JsonValue source = sampleTree();
    const JsonValue::ObjectMap* members = source.objectValue();
    JsonValue target(std::move(source));
    EXPECT_EQ(target.objectValue(), members) << "a move takes the payload over, it copies nothing";
    EXPECT_EQ(source.type(), JsonType::Null); // NOLINT(bugprone-use-after-move): the moved-from state is the contract
    EXPECT_EQ(source.objectValue(), nullptr);

    JsonValue text = JsonValue::makeString("abc");
    JsonValue other = JsonValue::makeIntegral(4);
    other = std::move(text);
    EXPECT_EQ(other.asText(), "abc");
    EXPECT_EQ(text.type(), JsonType::Null); // NOLINT(bugprone-use-after-move)
    EXPECT_EQ(text.stringValue(), nullptr);

    JsonValue& alias = other;
    other = std::move(alias);
    EXPECT_EQ(other.asText(), "abc") << "self-move keeps the value";
}

TEST(JsonValue, AssigningAMemberIntoItsOwnParentIsSafe) {
    // The member lives inside the payload that the assignment frees (sanitizer builds catch a use after free).
    JsonValue moved = sampleTree();
    moved = std::move(moved["files"]);
    EXPECT_EQ(moved.arrayLength(), 2);
    EXPECT_EQ(moved[1]["url"].asText(), "http://127.0.0.1/a.mpq");

    JsonValue copied = sampleTree();
    copied = copied["files"][1];
    EXPECT_EQ(keysOf(copied), std::vector<std::string>{"url"});

    JsonValue nested = sampleTree();
    nested["self"] = nested;
    EXPECT_EQ(nested["self"]["name"].asText(), "Varnhold");
    EXPECT_EQ(nested["self"]["self"].type(), JsonType::Null) << "the copy holds the new member as it was: Null";
}

TEST(JsonValue, AsTextAppliesTheSevenEscapesOnly) {
    EXPECT_EQ(escapeText("\b\t\n\f\r\"\\"), "\\b\\t\\n\\f\\r\\\"\\\\");
    const std::string untouched = std::string("/\x01\x0b\x1f\x7f\x80\xc3\xa9", 9) + std::string(1, '\0') + "u";
    EXPECT_EQ(escapeText(untouched), untouched);
    EXPECT_EQ(escapeText(""), "");
    EXPECT_EQ(JsonValue::makeString("two\nlines").asText(), "two\\nlines");
    EXPECT_EQ(JsonValue::makeString("\\u0041").asText(), "\\\\u0041");
    EXPECT_EQ(*JsonValue::makeString("two\nlines").stringValue(), "two\nlines") << "the stored bytes stay raw";
}
