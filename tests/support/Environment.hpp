// Environment variables a test sets for the code under test and puts back afterwards. Each OS has its own
// implementation (support/linux/, support/windows/), chosen by the build.
#pragma once

#include <optional>
#include <string>

namespace testing_support {

/// Sets `name` to `value` for this process, or removes it when there is no value; false when the system refused.
/// The C library's getenv and the system's own lookup both see the change.
bool setEnvironment(const std::string& name, const std::optional<std::string>& value);

/// The value of `name` in this process, nothing when it is unset.
[[nodiscard]] std::optional<std::string> environment(const std::string& name);

/// Sets (or, with no value, removes) a variable for as long as it lives, then restores what was there.
class EnvironmentGuard {
public:
    EnvironmentGuard(std::string name, const char* value) : m_name(std::move(name)), m_old(environment(m_name)) {
        setEnvironment(m_name, value != nullptr ? std::optional<std::string>(value) : std::nullopt);
    }
    ~EnvironmentGuard() { setEnvironment(m_name, m_old); }
    EnvironmentGuard(const EnvironmentGuard&) = delete;
    EnvironmentGuard& operator=(const EnvironmentGuard&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

} // namespace testing_support
