// UTF-8 and UTF-16 through the system's own converters.
#include "platform/windows/WideText.hpp"

#include "platform/windows/Win32.hpp"

#include <climits>

namespace platform::detail {

namespace {

std::wstring convert(unsigned codePage, unsigned long flags, std::string_view text) {
    const int size = static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(codePage, flags, text.data(), size, nullptr, 0);
    if (needed <= 0) {
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    MultiByteToWideChar(codePage, flags, text.data(), size, wide.data(), needed);
    return wide;
}

} // namespace

std::wstring toWide(std::string_view text) {
    if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX)) {
        return {};
    }
    // MB_ERR_INVALID_CHARS makes invalid UTF-8 fail instead of becoming U+FFFD, which would name another file.
    std::wstring wide = convert(CP_UTF8, MB_ERR_INVALID_CHARS, text);
    if (wide.empty()) {
        wide = convert(CP_ACP, 0, text);
    }
    return wide;
}

std::wstring toWideReplacingInvalid(std::string_view text) {
    if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX)) {
        return {};
    }
    return convert(CP_UTF8, 0, text);
}

std::string toUtf8(std::wstring_view text) {
    if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX)) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int needed = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) {
        return {};
    }
    std::string narrow(static_cast<std::size_t>(needed), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, narrow.data(), needed, nullptr, nullptr);
    return narrow;
}

std::string systemErrorText(unsigned long code) {
    wchar_t* message = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
        reinterpret_cast<wchar_t*>(&message), 0, nullptr); // ALLOCATE_BUFFER passes the pointer's address this way
    std::string text;
    if (message != nullptr) {
        text = toUtf8(std::wstring_view(message, length));
        LocalFree(message);
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.')) {
        text.pop_back();
    }
    return text.empty() ? "error " + std::to_string(code) : text;
}

} // namespace platform::detail
