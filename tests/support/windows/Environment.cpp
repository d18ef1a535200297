// The tests' environment on Windows. A process has two copies: the system's block (GetEnvironmentVariableW, and what
// child processes inherit) and the C runtime's table (getenv), which the runtime copies from the block once, when
// it starts. Both are changed here. A DLL with a C runtime linked in has a third copy that nothing here reaches:
// OpenAL Soft as SFML ships it reads ALSOFT_* from its own, so those must be set before the program starts.
#include "support/Environment.hpp"

#include <windows.h>

#include <cstdlib>
#include <vector>

namespace testing_support {

namespace {

std::wstring wide(const std::string& text) {
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size);
    return result;
}

std::string utf8(const std::wstring& text) {
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size, nullptr, nullptr);
    return result;
}

} // namespace

bool setEnvironment(const std::string& name, const std::optional<std::string>& value) {
    const std::wstring wideName = wide(name);
    // The runtime cannot hold an empty value: "" removes the variable from its table, so an empty value lives in the
    // system's block alone.
    const std::wstring wideValue = value ? wide(*value) : std::wstring();
    const bool runtime = _wputenv_s(wideName.c_str(), wideValue.c_str()) == 0;
    const bool system = SetEnvironmentVariableW(wideName.c_str(), value ? wideValue.c_str() : nullptr) != 0;
    return runtime && system;
}

std::optional<std::string> environment(const std::string& name) {
    const std::wstring wideName = wide(name);
    SetLastError(ERROR_SUCCESS);
    const DWORD size = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (size == 0)
        return GetLastError() == ERROR_ENVVAR_NOT_FOUND ? std::nullopt : std::optional<std::string>("");
    std::vector<wchar_t> buffer(size);
    const DWORD length = GetEnvironmentVariableW(wideName.c_str(), buffer.data(), size);
    return utf8(std::wstring(buffer.data(), length));
}

} // namespace testing_support
