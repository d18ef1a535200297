// The cache folder of a Windows user: the local (not roaming) application data folder.
#include "platform/UserCacheFolder.hpp"

#include "platform/windows/SystemPath.hpp"
#include "platform/windows/Win32.hpp"

namespace platform {

std::string UserCacheFolder() {
    // Read from the environment, where a test (or a player) can point it elsewhere, as XDG_CACHE_HOME on Linux.
    const wchar_t* name = L"LOCALAPPDATA";
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) {
        return {};
    }
    std::wstring folder(size, L'\0');
    const DWORD written = GetEnvironmentVariableW(name, folder.data(), size);
    if (written == 0 || written >= size) {
        return {};
    }
    folder.resize(written);
    // Only a full path counts: a relative one would move with the current folder.
    const bool full = (folder.size() >= 3 && folder[1] == L':' && (folder[2] == L'\\' || folder[2] == L'/')) ||
                      folder.starts_with(L"\\\\");
    if (!full) {
        return {};
    }
    std::string path = detail::launcherPath(folder);
    while (path.size() > 3 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

} // namespace platform
