// The member names of a JSON object in the order it keeps them, for comparing with one expected list.
#pragma once

#include "net/JsonValue.hpp"

#include <string>
#include <vector>

namespace testing_support {

/// Empty for anything that is not an object.
inline std::vector<std::string> keysOf(const JsonValue& value) {
    std::vector<std::string> keys;
    if (const JsonValue::ObjectMap* members = value.objectValue()) {
        for (const auto& member : *members) {
            keys.push_back(member.first);
        }
    }
    return keys;
}

} // namespace testing_support
