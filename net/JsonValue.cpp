// The JSON value: ownership of its payload, the lookups that add what they look for, and the text escaping.
#include "net/JsonValue.hpp"

#include <limits>
#include <type_traits>
#include <utility>

JsonValue::JsonValue() noexcept = default;
JsonValue::~JsonValue() = default;

JsonValue::JsonValue(const JsonValue& other)
    : m_payload(std::visit(
          [](const auto& held) -> Payload {
              using Held = std::decay_t<decltype(held)>;
              if constexpr (std::is_same_v<Held, std::unique_ptr<ArraySeq>>) {
                  // An empty array owns no sequence yet (see setType).
                  return held ? std::make_unique<ArraySeq>(*held) : std::unique_ptr<ArraySeq>();
              } else if constexpr (std::is_same_v<Held, std::unique_ptr<ObjectMap>> ||
                                   std::is_same_v<Held, std::unique_ptr<std::string>>) {
                  // Moves reset their source to Null, so an empty owner never appears; stay safe anyway.
                  if (!held) {
                      return std::monostate{};
                  }
                  return std::make_unique<typename Held::element_type>(*held);
              } else {
                  return held;
              }
          },
          other.m_payload)) {}

JsonValue& JsonValue::operator=(const JsonValue& other) {
    // Copy first: `other` may live inside this value's own payload (v = v["a"]).
    JsonValue copy(other);
    *this = std::move(copy);
    return *this;
}

JsonValue::JsonValue(JsonValue&& other) noexcept : m_payload(std::move(other.m_payload)) {
    other.m_payload.emplace<std::monostate>();
}

JsonValue& JsonValue::operator=(JsonValue&& other) noexcept {
    if (this == &other) {
        return *this;
    }
    // Take the payload out before the old one is freed: `other` may be a member of this value's own payload, and
    // freeing first would leave it dangling while it is still read and reset.
    Payload taken = std::move(other.m_payload);
    other.m_payload.emplace<std::monostate>();
    m_payload = std::move(taken);
    return *this;
}

JsonValue JsonValue::make(JsonType type) {
    JsonValue value;
    value.setType(type);
    return value;
}

JsonValue JsonValue::makeString(std::string bytes) {
    JsonValue value;
    value.m_payload = std::make_unique<std::string>(std::move(bytes));
    return value;
}

JsonValue JsonValue::makeFloating(double number) noexcept {
    JsonValue value;
    value.m_payload = number;
    return value;
}

JsonValue JsonValue::makeIntegral(std::int32_t number) noexcept {
    JsonValue value;
    value.m_payload = number;
    return value;
}

JsonValue JsonValue::makeBoolean(bool flag) noexcept {
    JsonValue value;
    value.m_payload = flag;
    return value;
}

void JsonValue::setType(JsonType type) {
    if (this->type() == type) {
        return;
    }
    switch (type) {
    case JsonType::Object:
        m_payload = std::make_unique<ObjectMap>();
        break;
    case JsonType::Array:
        // The sequence is made when the first element arrives: an empty deque already takes some 600 bytes, so a
        // hostile document of a million "[]" would otherwise cost hundreds of megabytes.
        m_payload = std::unique_ptr<ArraySeq>();
        break;
    case JsonType::String:
        m_payload = std::make_unique<std::string>();
        break;
    case JsonType::Floating:
        m_payload = 0.0;
        break;
    case JsonType::Integral:
        m_payload = std::int32_t{0};
        break;
    case JsonType::Boolean:
        m_payload = false;
        break;
    case JsonType::Null:
    default:
        // A tag outside the enumeration cannot name a payload; the nearest sound value is Null.
        m_payload.emplace<std::monostate>();
        break;
    }
}

JsonValue& JsonValue::operator[](const std::string& key) {
    setType(JsonType::Object);
    return std::get<std::unique_ptr<ObjectMap>>(m_payload)->try_emplace(key).first->second;
}

JsonValue& JsonValue::operator[](std::uint32_t index) {
    setType(JsonType::Array);
    std::unique_ptr<ArraySeq>& held = std::get<std::unique_ptr<ArraySeq>>(m_payload);
    if (!held) {
        held = std::make_unique<ArraySeq>();
    }
    ArraySeq& elements = *held;
    if (index >= elements.size()) {
        elements.resize(std::size_t{index} + 1);
    }
    return elements[index];
}

std::string JsonValue::asText() const {
    const std::string* text = stringValue();
    return text != nullptr ? escapeText(*text) : std::string();
}

std::int32_t JsonValue::asInt() const noexcept {
    const auto* number = std::get_if<std::int32_t>(&m_payload);
    return number != nullptr ? *number : 0;
}

std::int32_t JsonValue::arrayLength() const noexcept {
    const ArraySeq* elements = arrayValue();
    if (elements == nullptr) {
        return -1;
    }
    // An array this long needs gigabytes of text; saturate rather than wrap to a negative length.
    constexpr auto maxLength = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
    return static_cast<std::int32_t>(elements->size() < maxLength ? elements->size() : maxLength);
}

const std::string* JsonValue::stringValue() const noexcept {
    const auto* held = std::get_if<std::unique_ptr<std::string>>(&m_payload);
    return held != nullptr ? held->get() : nullptr;
}

double JsonValue::floatingValue() const noexcept {
    const auto* number = std::get_if<double>(&m_payload);
    return number != nullptr ? *number : 0.0;
}

bool JsonValue::booleanValue() const noexcept {
    const auto* flag = std::get_if<bool>(&m_payload);
    return flag != nullptr && *flag;
}

const JsonValue::ObjectMap* JsonValue::objectValue() const noexcept {
    const auto* held = std::get_if<std::unique_ptr<ObjectMap>>(&m_payload);
    return held != nullptr ? held->get() : nullptr;
}

const JsonValue::ArraySeq* JsonValue::arrayValue() const noexcept {
    const auto* held = std::get_if<std::unique_ptr<ArraySeq>>(&m_payload);
    if (held == nullptr) {
        return nullptr;
    }
    static const ArraySeq noElements;
    return *held ? held->get() : &noElements;
}

std::string escapeText(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '\b':
            escaped += "\\b";
            break;
        case '\t':
            escaped += "\\t";
            break;
        case '\n':
            escaped += "\\n";
            break;
        case '\f':
            escaped += "\\f";
            break;
        case '\r':
            escaped += "\\r";
            break;
        case '"':
            escaped += "\\\"";
            break;
        case '\\':
            escaped += "\\\\";
            break;
        default:
            escaped += c;
            break;
        }
    }
    return escaped;
}
