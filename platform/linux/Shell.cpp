// Opening things the way a Windows shell would: addresses and documents to the desktop, programs as processes.
#include "platform/Shell.hpp"

#include "platform/FileSystem.hpp"
#include "platform/UrlScheme.hpp"
#include "platform/linux/Spawn.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <string_view>

namespace platform {

namespace {

bool isWindowsProgram(std::string_view path) {
    constexpr std::string_view extension = ".exe";
    if (path.size() <= extension.size()) {
        return false;
    }
    const std::string_view tail = path.substr(path.size() - extension.size());
    return std::equal(tail.begin(), tail.end(), extension.begin(),
                      [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

bool isRegularFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool existsBehindLinks(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

bool openWithDesktop(const std::string& target) {
    const std::string opener = detail::findProgram("xdg-open");
    return !opener.empty() && detail::startDetached({opener, target});
}

} // namespace

bool OpenTarget(const std::string& target) {
    if (target.empty()) {
        return false;
    }
    // The text as a Linux name first (which may hold a '\'), then as the server's Windows-style path.
    std::string path;
    if (existsBehindLinks(target)) {
        path = target.front() == '/' ? target : "./" + target; // With a '/', never searched for on PATH.
    } else {
        path = FullPath(target);
    }
    if (path.empty() || !existsBehindLinks(path)) {
        return false;
    }

    if (isRegularFile(path) && isWindowsProgram(path)) {
        const std::string wine = detail::findProgram("wine");
        if (!wine.empty()) {
            return detail::startDetached({wine, path});
        }
        return openWithDesktop(path);
    }
    // Files on Windows-formatted drives carry the execute bit whatever they are: when such a file does not start,
    // it is a document after all.
    if (isRegularFile(path) && access(path.c_str(), X_OK) == 0 && detail::startDetached({path})) {
        return true;
    }
    return openWithDesktop(path);
}

bool OpenAddress(const std::string& address) {
    return detail::hasUrlScheme(address) && openWithDesktop(address);
}

} // namespace platform
