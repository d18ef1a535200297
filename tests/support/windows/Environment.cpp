// The tests' environment on Windows. A process has two copies: the system's block (GetEnvironmentVariableW, and what
// child processes inherit) and the C runtime's table (getenv), which the runtime copies from the block once, when
// it starts. Both are changed here. A DLL with a C runtime linked in has a third copy that nothing here reaches:
// OpenAL Soft as SFML ships it reads ALSOFT_* from its own, so those must be set before the program starts.
#include "support/Environment.hpp"

#include "platform/windows/WideText.hpp"

#include <windows.h>

#include <cstdlib>
#include <vector>

namespace testing_support {

using platform::detail::toUtf8;
using platform::detail::toWide;

bool setEnvironment(const std::string& name, const std::optional<std::string>& value) {
    const std::wstring wideName = toWide(name);
    // The runtime cannot hold an empty value: "" removes the variable from its table, so an empty value lives in the
    // system's block alone.
    const std::wstring wideValue = value ? toWide(*value) : std::wstring();
    const bool runtime = _wputenv_s(wideName.c_str(), wideValue.c_str()) == 0;
    const bool system = SetEnvironmentVariableW(wideName.c_str(), value ? wideValue.c_str() : nullptr) != 0;
    return runtime && system;
}

std::optional<std::string> environment(const std::string& name) {
    const std::wstring wideName = toWide(name);
    SetLastError(ERROR_SUCCESS);
    const DWORD size = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (size == 0)
        return GetLastError() == ERROR_ENVVAR_NOT_FOUND ? std::nullopt : std::optional<std::string>("");
    std::vector<wchar_t> buffer(size);
    const DWORD length = GetEnvironmentVariableW(wideName.c_str(), buffer.data(), size);
    return toUtf8(std::wstring_view(buffer.data(), length));
}

} // namespace testing_support
