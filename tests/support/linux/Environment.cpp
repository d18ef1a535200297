// The tests' environment on Linux: the C library's own table is the one every library reads.
#include "support/Environment.hpp"

#include <cstdlib>

namespace testing_support {

bool setEnvironment(const std::string& name, const std::optional<std::string>& value) {
    return (value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str())) == 0;
}

std::optional<std::string> environment(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

} // namespace testing_support
