// Sets an environment variable for as long as a test needs it, then restores it (POSIX: the Linux-only tests).
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace testing_support {

class EnvironmentGuard {
public:
    EnvironmentGuard(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name); old != nullptr)
            m_old = old;
        value != nullptr ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~EnvironmentGuard() { m_old ? ::setenv(m_name, m_old->c_str(), 1) : ::unsetenv(m_name); }
    EnvironmentGuard(const EnvironmentGuard&) = delete;
    EnvironmentGuard& operator=(const EnvironmentGuard&) = delete;

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

} // namespace testing_support
