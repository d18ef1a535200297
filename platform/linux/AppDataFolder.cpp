// The XDG base directory rules: logs are state, kept per machine, so they go under $XDG_STATE_HOME.
#include "platform/AppDataFolder.hpp"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace platform {
namespace {

constexpr const char* folderName = "varnhold-launcher";

// $HOME, or the account's home when the variable is missing (a service or a cleaned environment).
std::filesystem::path homeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/')
        return home;
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr && *found->pw_dir == '/')
        return found->pw_dir;
    return {};
}

} // namespace

std::filesystem::path LocalAppDataFolder() {
    // The rules ignore a relative value: it would depend on the folder the launcher happened to start in.
    if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && *state == '/')
        return std::filesystem::path(state) / folderName;
    const std::filesystem::path home = homeFolder();
    if (home.empty())
        return {};
    return home / ".local" / "state" / folderName;
}

} // namespace platform
