// The launcher's own folder under the player's local (not roaming) application data: logs stay on this machine.
#include "platform/AppDataFolder.hpp"

#include "platform/UserCacheFolder.hpp"
#include "platform/windows/WideText.hpp"

namespace platform {

std::filesystem::path LocalAppDataFolder() {
    // The same place programs keep caches in on Windows: %LOCALAPPDATA%, a full path only.
    const std::string localAppData = UserCacheFolder();
    if (localAppData.empty()) {
        return {};
    }
    return std::filesystem::path(detail::toWide(localAppData)) / L"Varnhold Launcher";
}

} // namespace platform
