// Links on Windows: a symbolic link for a file, a junction (a mount-point reparse point, made as "mklink /J" makes
// it: support/windows/Junction) for a folder. Wine (8.0 on the build machines) answers CreateSymbolicLinkW with
// success but makes nothing, and refuses junctions; it shows a Unix symbolic link to a folder as a reparse point, as
// Windows shows a junction, but one to a file as a plain file, and its own calls remove what a link leads to. Under
// Wine links are therefore made and removed by the system's ln and rm, which Wine starts like any program.
#include "support/Links.hpp"

#include "support/windows/Junction.hpp"

#include "platform/windows/SystemPath.hpp"
#include "platform/windows/UniqueHandle.hpp"
#include "platform/windows/WideText.hpp"

#include <windows.h>

#include <optional>

namespace testing_support {

namespace {

using platform::detail::fullWidePath;

constexpr DWORD unixProgramTime = 10000; // ms
constexpr DWORD unixPollInterval = 20;

bool isLink(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// The Unix name Wine gives `path`; nothing outside Wine.
std::optional<std::string> unixName(const std::wstring& path) {
    using ToUnix = char*(CDECL*)(const WCHAR*);
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const auto toUnix =
        kernel ? reinterpret_cast<ToUnix>(reinterpret_cast<void*>(GetProcAddress(kernel, "wine_get_unix_file_name")))
               : nullptr;
    char* name = toUnix ? toUnix(path.c_str()) : nullptr;
    if (name == nullptr)
        return std::nullopt;
    std::string text = name;
    HeapFree(GetProcessHeap(), 0, name);
    return text;
}

// Runs the Unix program `program` with `arguments` (Unix paths, quoted here), under Wine only, and waits until
// `done` says it has done its work. Wine's handle of a Unix process cannot be waited for.
template <typename Done> bool runUnixProgram(const std::wstring& program, const std::string& arguments, Done done) {
    const std::optional<std::string> unixProgram = unixName(program);
    if (!unixProgram)
        return false;
    std::wstring command = platform::detail::toWide(*unixProgram + " " + arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &process) == 0)
        return false;
    const platform::detail::UniqueHandle running(process.hProcess);
    const platform::detail::UniqueHandle thread(process.hThread);
    for (DWORD waited = 0; waited < unixProgramTime; waited += unixPollInterval) {
        if (done())
            return true;
        Sleep(unixPollInterval);
    }
    return false;
}

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

bool unixLink(const std::wstring& target, const std::wstring& link) {
    const std::optional<std::string> from = unixName(target);
    const std::optional<std::string> to = unixName(link);
    return from && to &&
           runUnixProgram(L"Z:\\bin\\ln", "-s " + quoted(*from) + " " + quoted(*to), [&] { return isLink(link); });
}

} // namespace

bool makeFileLink(const std::string& target, const std::string& link) {
    const std::wstring targetPath = fullWidePath(target);
    const std::wstring linkPath = fullWidePath(link);
    if (CreateSymbolicLinkW(linkPath.c_str(), targetPath.c_str(), SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) != 0 &&
        isLink(linkPath))
        return true;
    // Wine shows the link as the file it leads to: that the name exists is all there is to see.
    const std::optional<std::string> from = unixName(targetPath);
    const std::optional<std::string> to = unixName(linkPath);
    return from && to && runUnixProgram(L"Z:\\bin\\ln", "-s " + quoted(*from) + " " + quoted(*to), [&] {
               return GetFileAttributesW(linkPath.c_str()) != INVALID_FILE_ATTRIBUTES;
           });
}

bool makeFolderLink(const std::string& target, const std::string& link) {
    const std::wstring targetPath = fullWidePath(target);
    const std::wstring linkPath = fullWidePath(link);
    if (makeJunction(linkPath, targetPath))
        return true;
    RemoveDirectoryW(linkPath.c_str()); // the plain folder made for it, so that ln can take the name
    return unixLink(targetPath, linkPath);
}

bool removeLink(const std::string& link) {
    const std::wstring linkPath = fullWidePath(link);
    // Wine's own calls would remove what the link leads to.
    if (const std::optional<std::string> unixLinkName = unixName(linkPath)) {
        return runUnixProgram(L"Z:\\bin\\rm", quoted(*unixLinkName),
                              [&] { return GetFileAttributesW(linkPath.c_str()) == INVALID_FILE_ATTRIBUTES; });
    }
    return RemoveDirectoryW(linkPath.c_str()) != 0 || DeleteFileW(linkPath.c_str()) != 0;
}

bool underWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

} // namespace testing_support
