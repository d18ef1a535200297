// The lenient JSON parser: one pass over the text, a diagnostic line and a substitute value for each broken piece.
#include "net/JsonValue.hpp"

#include "platform/Diagnostics.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <utility>

namespace {

constexpr std::string_view unknownStartPrefix = "ERROR: Parse: Unknown starting character '";
constexpr std::string_view tooDeepPrefix = "ERROR: Parse: Nesting too deep, found '";
constexpr std::string_view colonPrefix = "Error: Object: Expected colon, found '";
constexpr std::string_view commaPrefix = "ERROR: Object: Expected comma, found '";
constexpr std::string_view arrayPrefix = "ERROR: Array: Expected ',' or ']', found '";
constexpr std::string_view hexPrefix = "ERROR: String: Expected hex character in unicode escape, found '";
constexpr std::string_view stringEndPrefix = "ERROR: String: Unexpected end of text, found '";
constexpr std::string_view exponentPrefix = "ERROR: Number: Expected a number for exponent, found '";
constexpr std::string_view numberPrefix = "ERROR: Number: unexpected character '";
constexpr std::string_view boolPrefix = "ERROR: Bool: Expected 'true' or 'false', found '";
constexpr std::string_view nullPrefix = "ERROR: Null: Expected 'null', found '";

constexpr std::size_t unicodeDigits = 4;

bool isWhitespace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isHexDigit(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool isNumberTerminator(char c) {
    return isWhitespace(c) || c == ',' || c == ']' || c == '}';
}

/// The longest base-10 integer prefix of `text` (an optional '-', then digits) as a signed 32-bit value; on failure
/// the index of the character that spoiled it (text.size() when the text ran out before a digit).
struct IntegerPrefix {
    std::optional<std::int32_t> value;
    std::size_t faultIndex = 0;
};

IntegerPrefix readIntegerPrefix(std::string_view text) {
    std::size_t index = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) {
        ++index;
    }
    if (index >= text.size() || !isDigit(text[index])) {
        return {std::nullopt, index};
    }
    // Accumulate towards the sign so that the most negative value fits without overflow.
    constexpr std::int64_t lowest = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t highest = std::numeric_limits<std::int32_t>::max();
    std::int64_t value = 0;
    for (; index < text.size() && isDigit(text[index]); ++index) {
        const std::int64_t digit = text[index] - '0';
        value = negative ? value * 10 - digit : value * 10 + digit;
        if (value < lowest || value > highest) {
            return {std::nullopt, index};
        }
    }
    return {static_cast<std::int32_t>(value), index};
}

/// `mantissa` times ten to the power `exponent`, the power taken in double precision.
double scaleByPowerOfTen(double mantissa, std::int32_t exponent) {
    // Zero stays zero whatever the exponent: zero times an overflowed power would be NaN.
    if (mantissa == 0.0) {
        return mantissa;
    }
    const double power = std::pow(10.0, exponent);
    if (std::isfinite(power) && power != 0.0) {
        return mantissa * power;
    }
    // The power alone left the double range though the product may not (0.001e310): scale in two halves.
    const std::int32_t half = exponent / 2;
    return mantissa * std::pow(10.0, half) * std::pow(10.0, exponent - half);
}

/// The longest prefix of `digits` that reads as a decimal double (independent of the C locale), times ten to the
/// power `exponent`; nothing when no prefix reads as a number.
std::optional<double> readScaledDecimal(std::string_view digits, std::int32_t exponent) {
    const char* const first = digits.data();
    const char* const last = first + digits.size();
    double mantissa = 0.0;
    const auto [end, error] = std::from_chars(first, last, mantissa);
    if (error == std::errc::invalid_argument) {
        return std::nullopt;
    }
    if (error != std::errc::result_out_of_range) {
        return scaleByPowerOfTen(mantissa, exponent);
    }
    // Only a mantissa of hundreds of digits gets here; multiplying its infinity or zero by the power could give
    // NaN or a plainly wrong result, so the whole number is read from its text instead.
    const std::string_view matched(first, static_cast<std::size_t>(end - first));
    const std::string scaled = std::string(matched) + 'e' + std::to_string(exponent);
    double value = 0.0;
    const auto [scaledEnd, scaledError] = std::from_chars(scaled.data(), scaled.data() + scaled.size(), value);
    if (scaledError != std::errc::result_out_of_range) {
        return value;
    }
    // Still out of range: decide between infinity and zero by the decimal order of magnitude.
    const std::size_t point = std::min(matched.find('.'), matched.size());
    const std::size_t leading = matched.find_first_of("123456789");
    const std::int64_t order =
        leading < point ? static_cast<std::int64_t>(point - leading) - 1 : -static_cast<std::int64_t>(leading - point);
    const double magnitude = order + exponent >= 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return matched[0] == '-' ? -magnitude : magnitude;
}

class Parser {
public:
    Parser(std::string_view text, std::ostream& diagnostics) : m_text(text), m_diagnostics(diagnostics) {}

    /// `depth` counts the objects and arrays that enclose the value.
    JsonValue parseValue(int depth) {
        skipWhitespace();
        const char c = current();
        if (c == '{' || c == '[') {
            if (depth >= JsonValue::maxDepth) {
                // The position stays on the bracket, so each enclosing step reports and unwinds at once.
                report(tooDeepPrefix, c);
                return JsonValue();
            }
            return c == '{' ? parseObject(depth) : parseArray(depth);
        }
        if (c == '"') {
            return parseString();
        }
        if (c == 't' || c == 'f') {
            return parseBool();
        }
        if (c == 'n') {
            return parseNull();
        }
        if (c == '-' || isDigit(c)) {
            return parseNumber();
        }
        report(unknownStartPrefix, c);
        return JsonValue();
    }

private:
    /// The character at `position`; NUL at or past the end of the text.
    char at(std::size_t position) const { return position < m_text.size() ? m_text[position] : '\0'; }
    char current() const { return at(m_pos); }
    bool atEnd() const { return m_pos >= m_text.size(); }

    void skipWhitespace() {
        while (isWhitespace(current())) {
            ++m_pos;
        }
    }

    void report(std::string_view prefix, std::string_view found) {
        m_diagnostics << prefix << found << "'\n";
        m_diagnostics.flush();
    }
    void report(std::string_view prefix, char found) { report(prefix, std::string_view(&found, 1)); }

    JsonValue parseObject(int depth) {
        JsonValue object = JsonValue::make(JsonType::Object);
        ++m_pos;
        skipWhitespace();
        if (current() == '}') {
            ++m_pos;
            return object;
        }
        for (;;) {
            const JsonValue key = parseValue(depth + 1);
            skipWhitespace();
            if (current() != ':') {
                report(colonPrefix, current());
                return object;
            }
            ++m_pos;
            skipWhitespace();
            // Moved rather than copied: copying at every level would make deep documents cost depth times size.
            object[key.asText()] = parseValue(depth + 1);
            skipWhitespace();
            if (current() != ',') {
                break;
            }
            ++m_pos;
        }
        if (current() == '}') {
            ++m_pos;
        } else {
            report(commaPrefix, current());
        }
        return object;
    }

    JsonValue parseArray(int depth) {
        JsonValue array = JsonValue::make(JsonType::Array);
        ++m_pos;
        skipWhitespace();
        if (current() == ']') {
            ++m_pos;
            return array;
        }
        for (std::uint32_t index = 0;; ++index) {
            array[index] = parseValue(depth + 1);
            skipWhitespace();
            if (current() != ',') {
                break;
            }
            ++m_pos;
        }
        if (current() != ']') {
            // Unlike an object, a broken array keeps none of what it read.
            report(arrayPrefix, current());
            return JsonValue::make(JsonType::Array);
        }
        ++m_pos;
        return array;
    }

    JsonValue parseString() {
        ++m_pos;
        std::string bytes;
        for (; !atEnd() && current() != '"'; ++m_pos) {
            if (current() != '\\') {
                bytes += current();
                continue;
            }
            ++m_pos;
            if (atEnd()) {
                break;
            }
            switch (const char escape = current(); escape) {
            case '"':
            case '\\':
            case '/':
                bytes += escape;
                break;
            case 'b':
                bytes += '\b';
                break;
            case 'f':
                bytes += '\f';
                break;
            case 'n':
                bytes += '\n';
                break;
            case 'r':
                bytes += '\r';
                break;
            case 't':
                bytes += '\t';
                break;
            case 'u': {
                // Kept undecoded: the display decodes what it shows, everything else compares bytes.
                for (std::size_t offset = 1; offset <= unicodeDigits; ++offset) {
                    if (m_pos + offset >= m_text.size()) {
                        // Cut off by the end of the text: the unfinished escape is dropped, the rest is kept.
                        m_pos = m_text.size();
                        return endedInsideString(std::move(bytes));
                    }
                    if (!isHexDigit(at(m_pos + offset))) {
                        report(hexPrefix, at(m_pos + offset));
                        return JsonValue::make(JsonType::String);
                    }
                }
                bytes += "\\u";
                bytes.append(m_text.substr(m_pos + 1, unicodeDigits));
                m_pos += unicodeDigits;
                break;
            }
            default:
                bytes += '\\';
                break;
            }
        }
        if (atEnd()) {
            return endedInsideString(std::move(bytes));
        }
        ++m_pos;
        return JsonValue::makeString(std::move(bytes));
    }

    /// A text that ends inside a string keeps what was read, so a cut-off reply still shows its complete part.
    JsonValue endedInsideString(std::string bytes) {
        report(stringEndPrefix, current());
        return JsonValue::makeString(std::move(bytes));
    }

    JsonValue parseNumber() {
        std::string mantissa;
        bool fractional = false;
        while (current() == '-' || current() == '.' || isDigit(current())) {
            fractional = fractional || current() == '.';
            mantissa += current();
            ++m_pos;
        }
        char terminator = at(m_pos++);
        std::optional<std::string> exponentText;
        if (terminator == 'e' || terminator == 'E') {
            exponentText.emplace();
            if (current() == '-') {
                *exponentText += '-';
                ++m_pos;
            } else if (current() == '+') {
                ++m_pos;
            }
            while (isDigit(current())) {
                *exponentText += current();
                ++m_pos;
            }
            terminator = at(m_pos++);
        }
        if (!isNumberTerminator(terminator)) {
            report(exponentText ? exponentPrefix : numberPrefix, terminator);
            return JsonValue();
        }
        --m_pos;

        // A character that spoils a conversion is the terminator when the text ran out before it.
        const auto spoiler = [terminator](std::string_view text, std::size_t index) {
            return index < text.size() ? text[index] : terminator;
        };
        std::int32_t exponent = 0;
        if (exponentText) {
            const IntegerPrefix read = readIntegerPrefix(*exponentText);
            if (!read.value) {
                report(exponentPrefix, spoiler(*exponentText, read.faultIndex));
                return JsonValue();
            }
            exponent = *read.value;
        }
        if (fractional) {
            const std::optional<double> value = readScaledDecimal(mantissa, exponent);
            if (!value) {
                // No digit where one must be: right after the optional sign.
                const std::size_t expected = !mantissa.empty() && mantissa[0] == '-' ? 1 : 0;
                report(numberPrefix, spoiler(mantissa, expected));
                return JsonValue();
            }
            return JsonValue::makeFloating(*value);
        }
        const IntegerPrefix read = readIntegerPrefix(mantissa);
        if (!read.value) {
            report(numberPrefix, spoiler(mantissa, read.faultIndex));
            return JsonValue();
        }
        if (exponentText) {
            return JsonValue::makeFloating(scaleByPowerOfTen(static_cast<double>(*read.value), exponent));
        }
        return JsonValue::makeIntegral(*read.value);
    }

    JsonValue parseBool() {
        if (m_text.substr(m_pos, 4) == "true") {
            m_pos += 4;
            return JsonValue::makeBoolean(true);
        }
        if (m_text.substr(m_pos, 5) == "false") {
            m_pos += 5;
            return JsonValue::makeBoolean(false);
        }
        report(boolPrefix, m_text.substr(m_pos, 5));
        return JsonValue();
    }

    JsonValue parseNull() {
        if (m_text.substr(m_pos, 4) == "null") {
            m_pos += 4;
        } else {
            report(nullPrefix, m_text.substr(m_pos, 4));
        }
        return JsonValue();
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
    std::ostream& m_diagnostics;
};

} // namespace

JsonValue JsonValue::parse(std::string_view text) {
    return parse(text, platform::ErrorLineStream());
}

JsonValue JsonValue::parse(std::string_view text, std::ostream& diagnostics) {
    Parser parser(text, diagnostics);
    return parser.parseValue(0);
}
