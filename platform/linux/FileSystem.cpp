// Linux paths for a launcher whose servers think in Windows paths: both separators, lexical full paths.
#include "platform/FileSystem.hpp"

#include "platform/LinkLookup.hpp"
#include "platform/PathText.hpp"
#include "platform/linux/UniqueDir.hpp"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

namespace {

using detail::isSeparator;
using detail::sameIgnoringAsciiCase;

constexpr std::size_t initialFolderBufferSize = 256;
// getcwd has no size limit of its own; this only stops a runaway loop on a broken system.
constexpr std::size_t maxFolderBufferSize = std::size_t{1} << 20;

// The last separator of a full path never counts as part of it when comparing folders.
std::string_view withoutTrailingSeparator(std::string_view fullPath) {
    if (fullPath.size() > 1 && fullPath.back() == '/') {
        fullPath.remove_suffix(1);
    }
    return fullPath;
}

bool exists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

// The entry of `folder` that spells `name` with other letter case; the first in byte order, so that the choice
// does not depend on the order the file system lists them in.
std::optional<std::string> caseTwin(const std::string& folder, std::string_view name) {
    const UniqueDir dir(opendir(folder.empty() ? "/" : folder.c_str()));
    if (!dir) {
        return std::nullopt;
    }
    std::optional<std::string> twin;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string_view entryName = entry->d_name;
        if (sameIgnoringAsciiCase(entryName, name) && (!twin || entryName < *twin)) {
            twin = std::string(entryName);
        }
    }
    return twin;
}

} // namespace

namespace detail {

LinkLook lookAtLink(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) {
        return {};
    }
    if (!S_ISLNK(info.st_mode)) {
        return {LinkLook::Kind::NotALink, {}};
    }
    // st_size is the target's length, but it may change before the read: grow until the whole target fits.
    std::string target(static_cast<std::size_t>(info.st_size) + 1, '\0');
    while (target.size() <= maxFolderBufferSize) {
        const ssize_t length = readlink(path.c_str(), target.data(), target.size());
        if (length < 0) {
            return {LinkLook::Kind::Unreadable, {}};
        }
        if (static_cast<std::size_t>(length) < target.size()) {
            target.resize(static_cast<std::size_t>(length));
            return {LinkLook::Kind::Link, std::move(target)};
        }
        target.resize(target.size() * 2);
    }
    return {LinkLook::Kind::Unreadable, {}};
}

std::size_t rootLength(std::string_view path) {
    return !path.empty() && path.front() == '/' ? 1 : 0;
}

} // namespace detail

std::string CurrentFolder() {
    std::string buffer(initialFolderBufferSize, '\0');
    while (buffer.size() <= maxFolderBufferSize) {
        if (getcwd(buffer.data(), buffer.size()) != nullptr) {
            buffer.resize(buffer.find('\0'));
            return buffer;
        }
        if (errno != ERANGE) {
            return {}; // The folder was removed under us or cannot be read.
        }
        buffer.resize(buffer.size() * 2);
    }
    return {};
}

std::string FullPath(std::string_view path) {
    if (path.empty()) {
        return {};
    }
    std::string base;
    if (!isSeparator(path.front())) {
        base = CurrentFolder();
        if (base.empty()) {
            return {}; // Without a current folder a relative path names nothing.
        }
    }

    // Resolved lexically, like the Windows call this stands in for: "link/.." drops the link, not its target's parent.
    std::vector<std::string_view> parts;
    auto addParts = [&parts](std::string_view text) {
        std::size_t start = 0;
        while (start <= text.size()) {
            std::size_t end = start;
            while (end < text.size() && !isSeparator(text[end])) {
                ++end;
            }
            const std::string_view part = text.substr(start, end - start);
            if (part == "..") {
                if (!parts.empty()) {
                    parts.pop_back(); // ".." at the root stays at the root.
                }
            } else if (!part.empty() && part != ".") {
                parts.push_back(part);
            }
            start = end + 1;
        }
    };
    addParts(base);
    addParts(path);

    std::string result;
    for (const std::string_view part : parts) {
        result += '/';
        result += part;
    }
    if (result.empty() || isSeparator(path.back())) {
        result += '/';
    }
    return result;
}

std::string FullPathIgnoringCase(std::string_view path) {
    const std::string full = FullPath(path);
    if (full.empty() || exists(full)) {
        return full;
    }
    // Name by name from the root: each name that exists as written is kept, a missing one takes its twin.
    std::string resolved;
    std::size_t start = 1;
    while (start < full.size()) {
        std::size_t end = full.find('/', start);
        if (end == std::string::npos) {
            end = full.size();
        }
        const std::string_view name = std::string_view(full).substr(start, end - start);
        std::string candidate = resolved + "/" + std::string(name);
        if (!exists(candidate)) {
            const std::optional<std::string> twin = caseTwin(resolved, name);
            if (!twin) {
                return full; // Nothing to find below a name that is not there in any case.
            }
            candidate = resolved + "/" + *twin;
        }
        resolved = std::move(candidate);
        start = end + 1;
    }
    if (full.back() == '/') {
        resolved += '/';
    }
    return resolved;
}

bool IsDirectory(const std::string& path) {
    const std::string full = FullPath(path);
    struct stat info {};
    return !full.empty() && stat(full.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool CreateDirectory(const std::string& path) {
    const std::string full = FullPath(path);
    constexpr mode_t folderMode = 0777; // Narrowed by the user's umask, as for any folder a program makes.
    return !full.empty() && mkdir(full.c_str(), folderMode) == 0;
}

bool IsInsideFolder(std::string_view path, std::string_view folder) {
    const std::string fullPath = FullPath(path);
    const std::string fullFolder = FullPath(folder);
    if (fullPath.empty() || fullFolder.empty()) {
        return false;
    }
    const std::string_view inner = withoutTrailingSeparator(fullPath);
    const std::string_view outer = withoutTrailingSeparator(fullFolder);
    if (inner.size() <= outer.size() || inner.substr(0, outer.size()) != outer) {
        return false;
    }
    // The root folder ends in '/' already; any other folder must be followed by one, so "/game-evil" is not in "/game".
    return outer == "/" || inner[outer.size()] == '/';
}

} // namespace platform
