// The XDG base directory rule for the cache folder.
#include "platform/UserCacheFolder.hpp"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace platform {

namespace {

constexpr std::size_t passwordBufferSize = 16 * 1024;

std::string withoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/')
        return home;
    // A session started without HOME (a service, some sudo setups) still has a home in the password database.
    std::vector<char> buffer(passwordBufferSize);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr && found->pw_dir[0] == '/')
        return found->pw_dir;
    return {};
}

} // namespace

std::string UserCacheFolder() {
    // The XDG rule: a relative XDG_CACHE_HOME is invalid and ignored.
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache != nullptr && cache[0] == '/')
        return withoutTrailingSlashes(cache);
    const std::string home = homeFolder();
    if (home.empty())
        return {};
    return withoutTrailingSlashes(home) + "/.cache";
}

} // namespace platform
