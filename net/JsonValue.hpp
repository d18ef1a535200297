// The dynamically typed JSON value of the server document and its lenient parser.
#pragma once

#include <cstdint>
#include <deque>
#include <iosfwd>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

enum class JsonType : std::int32_t {
    Null = 0,
    Object = 1,
    Array = 2,
    String = 3,
    Floating = 4,
    Integral = 5,
    Boolean = 6
};

/// A JSON value whose lookups never fail: reading through a missing key or a value of another type gives the
/// empty text, 0 or -1, and the lookups add what they looked for.
class JsonValue {
public:
    using ObjectMap = std::map<std::string, JsonValue>; // byte-wise ordered keys, one entry per key
    using ArraySeq = std::deque<JsonValue>;             // grows at its end without moving its elements

    JsonValue() noexcept;
    ~JsonValue();
    JsonValue(const JsonValue& other);
    JsonValue& operator=(const JsonValue& other);
    JsonValue(JsonValue&& other) noexcept;
    JsonValue& operator=(JsonValue&& other) noexcept;

    /// A Null value turned into `type`'s empty value.
    [[nodiscard]] static JsonValue make(JsonType type);
    /// A String holding `bytes` as they stand (no escape is decoded or applied).
    [[nodiscard]] static JsonValue makeString(std::string bytes);
    /// A Floating, an Integral and a Boolean holding the given value.
    [[nodiscard]] static JsonValue makeFloating(double number) noexcept;
    [[nodiscard]] static JsonValue makeIntegral(std::int32_t number) noexcept;
    [[nodiscard]] static JsonValue makeBoolean(bool flag) noexcept;

    /// Deeper values are refused: objects and arrays nest by recursion, and a hostile document must not exhaust the
    /// stack.
    static constexpr int maxDepth = 512;

    /// Parses `text` from its first byte; faults are written as diagnostic lines to standard error.
    [[nodiscard]] static JsonValue parse(std::string_view text);
    /// The same, with the diagnostic lines written to `diagnostics` (tests read them).
    [[nodiscard]] static JsonValue parse(std::string_view text, std::ostream& diagnostics);

    /// Keeps the value when it already has `type`, else discards it for `type`'s empty value.
    void setType(JsonType type);
    [[nodiscard]] JsonType type() const noexcept { return static_cast<JsonType>(m_payload.index()); }

    /// Member lookup: turns the value into an Object first, inserts a Null member when the key is missing.
    JsonValue& operator[](const std::string& key);
    JsonValue& operator[](const char* key) { return (*this)[std::string(key)]; }
    /// Element lookup: turns the value into an Array first, lengthens it with Nulls to reach `index`.
    JsonValue& operator[](std::uint32_t index);

    /// A String's bytes with the seven JSON escapes applied; the empty text for any other type.
    [[nodiscard]] std::string asText() const;
    /// An Integral's value; 0 for any other type.
    [[nodiscard]] std::int32_t asInt() const noexcept;
    /// An Array's element count; -1 for any other type.
    [[nodiscard]] std::int32_t arrayLength() const noexcept;

    // Read-only views for tests and tools; they never change the value.
    [[nodiscard]] const std::string* stringValue() const noexcept;
    [[nodiscard]] double floatingValue() const noexcept;
    [[nodiscard]] bool booleanValue() const noexcept;
    [[nodiscard]] const ObjectMap* objectValue() const noexcept;
    [[nodiscard]] const ArraySeq* arrayValue() const noexcept;

private:
    // The index of the alternative is the JsonType; the three growing forms are owned through unique_ptr so a
    // value stays small and a move leaves the source Null.
    using Payload = std::variant<std::monostate, std::unique_ptr<ObjectMap>, std::unique_ptr<ArraySeq>,
                                 std::unique_ptr<std::string>, double, std::int32_t, bool>;
    Payload m_payload;
};

/// Copies `text`, replacing backspace, tab, line feed, form feed, carriage return, '"' and '\' by their escapes.
[[nodiscard]] std::string escapeText(std::string_view text);
