// Opening things through the Windows shell: programs, documents and addresses alike, each as its default action.
#include "platform/Shell.hpp"

#include "platform/FileSystem.hpp"
#include "platform/UrlScheme.hpp"
#include "platform/windows/SystemPath.hpp"
#include "platform/windows/WideText.hpp"
#include "platform/windows/Win32.hpp"

#include <objbase.h>
#include <shellapi.h>

#include <string_view>

namespace platform {

namespace {

// ShellExecuteW reports success with any value above this one.
constexpr INT_PTR lastShellError = 32;

bool exists(const std::string& path) {
    const std::wstring full = detail::systemPath(path);
    return !full.empty() && GetFileAttributesW(full.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The shell may hand a target to an extension through COM; it asks its caller to have COM set up on the thread.
class ComForThisCall {
public:
    ComForThisCall()
        : m_initialised(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}
    ComForThisCall(const ComForThisCall&) = delete;
    ComForThisCall& operator=(const ComForThisCall&) = delete;
    ~ComForThisCall() {
        if (m_initialised) {
            CoUninitialize();
        }
    }

private:
    bool m_initialised; // false when the thread had COM in another apartment already: then it is not ours to end
};

bool shellOpen(const std::wstring& target) {
    if (target.empty()) {
        return false;
    }
    const ComForThisCall com;
    // A program started this way runs in the game folder, the launcher's current one, whatever folder it is in.
    const std::wstring folder = detail::fullWidePath(".");
    const HINSTANCE result =
        ShellExecuteW(nullptr, nullptr, target.c_str(), nullptr, folder.empty() ? nullptr : folder.c_str(), SW_SHOW);
    return reinterpret_cast<INT_PTR>(result) > lastShellError;
}

} // namespace

bool OpenTarget(const std::string& target) {
    if (target.empty() || !exists(target)) {
        return false;
    }
    // The shell is given a plain full path with '\': it takes no "\\?\" prefix, and a relative path would be looked
    // up on the program search path too.
    return shellOpen(detail::fullWidePath(target));
}

bool OpenAddress(const std::string& address) {
    return detail::hasUrlScheme(address) && shellOpen(detail::toWide(address));
}

} // namespace platform
