// Pretty-printed JSON text (2-space indent) that the launcher's own lenient parser reads back unchanged.
#pragma once

#include "net/JsonValue.hpp"

#include <cstdint>
#include <string>
#include <string_view>

/// Builds JSON text in a string. Containers are opened and closed in pairs; inside an object every value is
/// preceded by key(). Misuse is a programmer error (asserted).
class JsonWriter {
public:
    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    /// A member name given as plain bytes.
    void key(std::string_view name);
    /// A member name as the launcher's parser stores it (in its escaped `asText` form).
    void storedKey(std::string_view storedName);

    /// `bytes` as a JSON string that the launcher's parser stores as exactly these bytes.
    void value(std::string_view bytes);
    void value(const char* bytes) { value(std::string_view(bytes)); }
    void value(std::int32_t number);
    void value(double number);
    void value(bool flag);
    void null();
    /// A whole parsed value, members in the order of its map.
    void value(const JsonValue& json);

    /// The text so far, with a final line feed once the top-level value is complete.
    [[nodiscard]] std::string text() const;

private:
    void beforeValue();
    void newline();
    void open(char bracket);
    void close(char bracket);

    std::string m_out;
    int m_depth = 0;
    bool m_empty = true;     // the innermost open container has no element yet
    bool m_afterKey = false; // a key was written and waits for its value
};

/// The JSON string literal (with quotes) that the launcher's parser stores as `bytes`. A backslash followed by
/// 'u' and four hex digits is kept as it stands, because the parser stores such an escape undecoded; other
/// backslashes and '"' are escaped, backspace, form feed, line feed, carriage return and tab get their short
/// escapes, every other byte (other control characters and bytes of 0x80 and above included) is written raw.
[[nodiscard]] std::string jsonStringLiteral(std::string_view bytes);

/// Undoes `escapeText`, giving the bytes of a member name from the form in which the parser stores it.
[[nodiscard]] std::string unescapeStoredText(std::string_view stored);
