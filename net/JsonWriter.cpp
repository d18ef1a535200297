// The system's only JSON serialiser, shaped by what the launcher's parser does with each escape.
#include "net/JsonWriter.hpp"

#include <cassert>
#include <cmath>
#include <cstdio>

namespace {

constexpr int indentWidth = 2;
constexpr std::size_t unicodeEscapeLength = 6; // backslash, 'u', four hex digits
constexpr int doubleDigits = 17;               // enough significant digits to give back the same double

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool isUnicodeEscapeAt(std::string_view text, std::size_t i) {
    if (i + unicodeEscapeLength > text.size() || text[i] != '\\' || text[i + 1] != 'u') {
        return false;
    }
    for (std::size_t k = i + 2; k < i + unicodeEscapeLength; ++k) {
        if (!isHex(text[k])) {
            return false;
        }
    }
    return true;
}

std::string formatDouble(double number) {
    // JSON has no infinity; the parser multiplies by a power of ten in double precision, so 1e999 reads back
    // as infinity again. A NaN has no such spelling.
    if (std::isnan(number)) {
        return "null";
    }
    if (std::isinf(number)) {
        return number > 0 ? "1e999" : "-1e999";
    }
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.*g", doubleDigits, number);
    std::string text(buffer);
    // Without '.' or an exponent the parser would read an Integral back.
    if (text.find_first_of(".eE") == std::string::npos) {
        text += ".0";
    }
    return text;
}

} // namespace

std::string jsonStringLiteral(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + 2);
    out += '"';
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            if (isUnicodeEscapeAt(bytes, i)) {
                out.append(bytes.substr(i, unicodeEscapeLength));
                i += unicodeEscapeLength - 1;
            } else {
                out += "\\\\";
            }
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            // The parser keeps a \u00XX escape as six characters, so the other control bytes can only come
            // back as themselves when they are written raw.
            out += c;
            break;
        }
    }
    out += '"';
    return out;
}

std::string unescapeStoredText(std::string_view stored) {
    std::string out;
    out.reserve(stored.size());
    for (std::size_t i = 0; i < stored.size(); ++i) {
        if (stored[i] != '\\' || i + 1 == stored.size()) {
            out += stored[i];
            continue;
        }
        const char next = stored[i + 1];
        char decoded = 0;
        switch (next) {
        case 'b':
            decoded = '\b';
            break;
        case 'f':
            decoded = '\f';
            break;
        case 'n':
            decoded = '\n';
            break;
        case 'r':
            decoded = '\r';
            break;
        case 't':
            decoded = '\t';
            break;
        case '"':
        case '\\':
            decoded = next;
            break;
        default:
            break;
        }
        if (decoded == 0) {
            out += stored[i];
        } else {
            out += decoded;
            ++i;
        }
    }
    return out;
}

void JsonWriter::newline() {
    m_out += '\n';
    m_out.append(static_cast<std::size_t>(m_depth * indentWidth), ' ');
}

void JsonWriter::beforeValue() {
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (m_depth > 0) {
        if (!m_empty) {
            m_out += ',';
        }
        newline();
    }
    m_empty = false;
}

void JsonWriter::open(char bracket) {
    beforeValue();
    m_out += bracket;
    ++m_depth;
    m_empty = true;
}

void JsonWriter::close(char bracket) {
    assert(m_depth > 0 && !m_afterKey && "close without an open container or after a dangling key");
    --m_depth;
    if (!m_empty) {
        newline();
    }
    m_out += bracket;
    m_empty = false;
}

void JsonWriter::beginObject() {
    open('{');
}
void JsonWriter::endObject() {
    close('}');
}
void JsonWriter::beginArray() {
    open('[');
}
void JsonWriter::endArray() {
    close(']');
}

void JsonWriter::key(std::string_view name) {
    assert(!m_afterKey && "two keys in a row");
    beforeValue();
    m_out += jsonStringLiteral(name);
    m_out += ": ";
    m_afterKey = true;
}

void JsonWriter::storedKey(std::string_view storedName) {
    key(unescapeStoredText(storedName));
}

void JsonWriter::value(std::string_view bytes) {
    beforeValue();
    m_out += jsonStringLiteral(bytes);
}

void JsonWriter::value(std::int32_t number) {
    beforeValue();
    m_out += std::to_string(number);
}

void JsonWriter::value(double number) {
    beforeValue();
    m_out += formatDouble(number);
}

void JsonWriter::value(bool flag) {
    beforeValue();
    m_out += flag ? "true" : "false";
}

void JsonWriter::null() {
    beforeValue();
    m_out += "null";
}

void JsonWriter::value(const JsonValue& json) {
    switch (json.type()) {
    case JsonType::Null:
        null();
        break;
    case JsonType::Object:
        beginObject();
        for (const auto& [name, member] : *json.objectValue()) {
            storedKey(name);
            value(member);
        }
        endObject();
        break;
    case JsonType::Array:
        beginArray();
        for (const auto& element : *json.arrayValue()) {
            value(element);
        }
        endArray();
        break;
    case JsonType::String:
        value(std::string_view(*json.stringValue()));
        break;
    case JsonType::Floating:
        value(json.floatingValue());
        break;
    case JsonType::Integral:
        value(json.asInt());
        break;
    case JsonType::Boolean:
        value(json.booleanValue());
        break;
    }
}

std::string JsonWriter::text() const {
    if (m_depth == 0 && !m_out.empty()) {
        return m_out + '\n';
    }
    return m_out;
}
