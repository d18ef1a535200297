// Fuzz target for the JSON parser: any bytes must parse without a crash, and the result must survive copies, moves
// and a round trip through JSON text unchanged.
#include "net/JsonValue.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>

namespace {

[[noreturn]] void fail(const char* why) {
    // Crash loudly so that libFuzzer keeps the input and the replay test fails.
    std::fputs(why, stderr);
    std::fputc('\n', stderr);
    std::abort();
}

bool sameValue(const JsonValue& a, const JsonValue& b) {
    if (a.type() != b.type()) {
        return false;
    }
    switch (a.type()) {
    case JsonType::Object: {
        const JsonValue::ObjectMap& left = *a.objectValue();
        const JsonValue::ObjectMap& right = *b.objectValue();
        if (left.size() != right.size()) {
            return false;
        }
        for (auto l = left.begin(), r = right.begin(); l != left.end(); ++l, ++r) {
            if (l->first != r->first || !sameValue(l->second, r->second)) {
                return false;
            }
        }
        return true;
    }
    case JsonType::Array: {
        const JsonValue::ArraySeq& left = *a.arrayValue();
        const JsonValue::ArraySeq& right = *b.arrayValue();
        if (left.size() != right.size()) {
            return false;
        }
        for (std::size_t i = 0; i < left.size(); ++i) {
            if (!sameValue(left[i], right[i])) {
                return false;
            }
        }
        return true;
    }
    case JsonType::String:
        return *a.stringValue() == *b.stringValue();
    case JsonType::Floating: {
        const double x = a.floatingValue();
        const double y = b.floatingValue();
        return std::memcmp(&x, &y, sizeof x) == 0;
    }
    case JsonType::Integral:
        return a.asInt() == b.asInt();
    case JsonType::Boolean:
        return a.booleanValue() == b.booleanValue();
    case JsonType::Null:
        return true;
    }
    return false;
}

/// Checks what the readers promise for every node and returns the nesting depth of the value.
int checkReaders(const JsonValue& value) {
    const JsonType type = value.type();
    if ((type == JsonType::Array) != (value.arrayLength() >= 0) || (type != JsonType::Integral && value.asInt() != 0)) {
        fail("a reader gave a value for the wrong type");
    }
    if (type == JsonType::Floating && std::isnan(value.floatingValue())) {
        fail("a number became NaN");
    }
    if (const std::string* bytes = value.stringValue()) {
        if (value.asText() != escapeText(*bytes)) {
            fail("asText is not the escaped string");
        }
    } else if (!value.asText().empty()) {
        fail("asText of a non-string is not empty");
    }
    int depth = 0;
    if (const JsonValue::ArraySeq* elements = value.arrayValue()) {
        if (static_cast<std::size_t>(value.arrayLength()) != elements->size()) {
            fail("arrayLength differs from the element count");
        }
        for (const JsonValue& element : *elements) {
            depth = std::max(depth, checkReaders(element) + 1);
        }
    }
    if (const JsonValue::ObjectMap* members = value.objectValue()) {
        for (const auto& member : *members) {
            depth = std::max(depth, checkReaders(member.second) + 1);
        }
    }
    return depth;
}

/// JSON text that parses back to `value`: the parser decodes exactly the escapes that escapeText writes.
void writeJson(const JsonValue& value, std::string& out) {
    switch (value.type()) {
    case JsonType::Object: {
        out += '{';
        const char* separator = "";
        for (const auto& [key, member] : *value.objectValue()) {
            // Keys are stored escaped already; written as they stand they decode and re-escape to themselves.
            out += separator;
            out += '"' + key + "\":";
            writeJson(member, out);
            separator = ",";
        }
        out += '}';
        break;
    }
    case JsonType::Array: {
        out += '[';
        const char* separator = "";
        for (const JsonValue& element : *value.arrayValue()) {
            out += separator;
            writeJson(element, out);
            separator = ",";
        }
        out += ']';
        break;
    }
    case JsonType::String:
        out += '"' + value.asText() + '"';
        break;
    case JsonType::Floating: {
        const double number = value.floatingValue();
        if (std::isinf(number)) {
            out += number < 0 ? "-1e999" : "1e999";
            break;
        }
        // Fixed notation keeps the exponent at zero, so the mantissa alone is read, correctly rounded.
        char buffer[400];
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, number, std::chars_format::fixed);
        if (result.ec != std::errc()) {
            fail("a finite double did not fit in 400 characters");
        }
        std::string text(buffer, result.ptr);
        if (text.find('.') == std::string::npos) {
            text += ".0";
        }
        out += text;
        break;
    }
    case JsonType::Integral:
        out += std::to_string(value.asInt());
        break;
    case JsonType::Boolean:
        out += value.booleanValue() ? "true" : "false";
        break;
    case JsonType::Null:
        out += "null";
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::ostream discard(nullptr);
    const JsonValue parsed = JsonValue::parse(text, discard);

    // Where the diagnostics go must not change what is parsed.
    std::ostringstream lines;
    if (!sameValue(parsed, JsonValue::parse(text, lines))) {
        fail("parsing the same text twice differs");
    }

    if (checkReaders(parsed) > JsonValue::maxDepth) {
        fail("a value is nested deeper than the limit");
    }

    JsonValue copy(parsed);
    if (!sameValue(copy, parsed)) {
        fail("a copy differs from its original");
    }
    JsonValue moved(std::move(copy));
    if (copy.type() != JsonType::Null || !sameValue(moved, parsed)) {
        fail("a move did not leave its source Null");
    }
    JsonValue assigned = JsonValue::makeString("old");
    assigned = moved;
    assigned = std::move(moved);
    if (!sameValue(assigned, parsed)) {
        fail("assignment changed the value");
    }

    std::string written;
    writeJson(parsed, written);
    written += ' '; // a number at the top needs a terminator
    std::ostringstream roundTripLines;
    const JsonValue reread = JsonValue::parse(written, roundTripLines);
    if (!sameValue(reread, parsed) || !roundTripLines.str().empty()) {
        fail("the value does not survive a round trip through JSON text");
    }

    // The lookups add what they look for and reshape whatever stands in their way.
    JsonValue& url = assigned["files"][3U]["url"];
    if (assigned.type() != JsonType::Object || assigned["files"].arrayLength() < 4 ||
        &assigned["files"][3U]["url"] != &url) {
        fail("a lookup did not add what it looked for");
    }
    return 0;
}
