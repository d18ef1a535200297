// Windows paths for the launcher: full paths from the system, '/' towards the rest of the program, and no
// MAX_PATH limit.
#include "platform/FileSystem.hpp"

#include "platform/LinkLookup.hpp"
#include "platform/windows/ReparsePoint.hpp"
#include "platform/windows/SystemPath.hpp"
#include "platform/windows/UniqueHandle.hpp"
#include "platform/windows/WideText.hpp"
#include "platform/windows/Win32.hpp"

#include <winioctl.h>

#include <algorithm>
#include <vector>

namespace platform {

namespace {

// A folder name must leave room for an 8.3 file name inside it: CreateDirectoryW refuses plain paths above this.
constexpr std::size_t longPathThreshold = MAX_PATH - 12;
constexpr std::wstring_view verbatimPrefix = L"\\\\?\\";
constexpr std::wstring_view verbatimUncPrefix = L"\\\\?\\UNC\\";
constexpr std::wstring_view devicePrefix = L"\\\\.\\";
constexpr std::wstring_view uncPrefix = L"\\\\";

// A drive's root keeps its separator ("C:/"), as "/" does on Linux; any other folder has none at its end.
bool isDriveRoot(std::string_view path) {
    return path.size() == 3 && path[1] == ':' && path[2] == '/';
}

std::string_view withoutTrailingSeparator(std::string_view fullPath) {
    if (fullPath.size() > 1 && fullPath.back() == '/' && !isDriveRoot(fullPath)) {
        fullPath.remove_suffix(1);
    }
    return fullPath;
}

} // namespace

namespace detail {

LinkLook lookAtLink(const std::string& path) {
    const std::wstring system = systemPath(path);
    const DWORD attributes = GetFileAttributesW(system.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return {};
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return {LinkLook::Kind::NotALink, {}};
    }
    // Opened as the link itself: where it points is read from it, not reached through it.
    const UniqueHandle link(CreateFileW(system.c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    std::vector<unsigned char> data(MAXIMUM_REPARSE_DATA_BUFFER_SIZE);
    DWORD size = 0;
    if (!link || DeviceIoControl(link.get(), FSCTL_GET_REPARSE_POINT, nullptr, 0, data.data(),
                                 static_cast<DWORD>(data.size()), &size, nullptr) == 0) {
        return {LinkLook::Kind::Unreadable, {}};
    }
    data.resize(size);
    return linkOfReparseData(data, path);
}

std::size_t rootLength(std::string_view path) {
    if (path.size() >= 3 && path[1] == ':' && path[2] == '/') {
        return 3;
    }
    if (path.starts_with("//")) {
        const std::size_t serverEnd = path.find('/', 2);
        if (serverEnd == std::string_view::npos || serverEnd == 2) {
            return 0;
        }
        const std::size_t shareEnd = path.find('/', serverEnd + 1);
        return shareEnd == std::string_view::npos ? path.size() : shareEnd + 1;
    }
    return 0;
}

std::wstring fullWidePath(std::string_view path) {
    std::wstring wide = toWide(path);
    if (wide.empty()) {
        return {};
    }
    // Windows reads '/' as '\' anyway; Wine would take a leading '/' for its host's root folder, not the drive's.
    std::replace(wide.begin(), wide.end(), L'/', L'\\');
    // The size asked for includes the terminating NUL, the size returned on success does not; the current folder
    // may change between the two calls, hence the loop.
    DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    while (size > 0) {
        std::wstring full(size, L'\0');
        const DWORD written = GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
        if (written == 0) {
            break;
        }
        if (written < size) {
            full.resize(written);
            return full;
        }
        size = written;
    }
    return {};
}

// The rest of the launcher sees '/' on every OS and no "\\?\" prefix, which only the file calls need.
std::string launcherPath(std::wstring_view wide) {
    std::wstring plain;
    if (wide.starts_with(verbatimUncPrefix)) {
        plain = std::wstring(uncPrefix) + std::wstring(wide.substr(verbatimUncPrefix.size()));
    } else if (wide.starts_with(verbatimPrefix)) {
        plain = wide.substr(verbatimPrefix.size());
    } else {
        plain = wide;
    }
    std::string path = toUtf8(plain);
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

std::wstring systemPath(std::string_view path) {
    std::wstring full = fullWidePath(path);
    if (full.size() < longPathThreshold || full.starts_with(verbatimPrefix) || full.starts_with(devicePrefix)) {
        return full;
    }
    if (full.starts_with(uncPrefix)) {
        return std::wstring(verbatimUncPrefix) + full.substr(uncPrefix.size());
    }
    return std::wstring(verbatimPrefix) + full;
}

std::optional<unsigned long> attributesBehindLinks(const std::wstring& path) {
    if (path.empty()) {
        return std::nullopt;
    }
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return std::nullopt;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return attributes;
    }
    // The attributes above are the link's own; opening it reaches what it points to, as stat does on Linux.
    const UniqueHandle target(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION information{};
    if (!target || GetFileInformationByHandle(target.get(), &information) == 0) {
        return std::nullopt;
    }
    return information.dwFileAttributes;
}

} // namespace detail

std::string CurrentFolder() {
    DWORD size = GetCurrentDirectoryW(0, nullptr);
    while (size > 0) {
        std::wstring folder(size, L'\0');
        const DWORD written = GetCurrentDirectoryW(size, folder.data());
        if (written == 0) {
            break;
        }
        if (written < size) {
            folder.resize(written);
            return std::string(withoutTrailingSeparator(detail::launcherPath(folder)));
        }
        size = written;
    }
    return {};
}

std::string FullPath(std::string_view path) {
    return detail::launcherPath(detail::fullWidePath(path));
}

bool IsDirectory(const std::string& path) {
    const std::optional<unsigned long> attributes = detail::attributesBehindLinks(detail::systemPath(path));
    return attributes && (*attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool CreateDirectory(const std::string& path) {
    const std::wstring full = detail::systemPath(path);
    return !full.empty() && CreateDirectoryW(full.c_str(), nullptr) != 0;
}

// NTFS and FAT look names up without regard to case: the full path names the same file either way.
std::string FullPathIgnoringCase(std::string_view path) {
    return FullPath(path);
}

bool IsInsideFolder(std::string_view path, std::string_view folder) {
    const std::string fullPath = FullPath(path);
    const std::string fullFolder = FullPath(folder);
    if (fullPath.empty() || fullFolder.empty()) {
        return false;
    }
    const std::wstring inner = detail::toWide(withoutTrailingSeparator(fullPath));
    const std::wstring outer = detail::toWide(withoutTrailingSeparator(fullFolder));
    // NTFS and FAT compare names without regard to case: "C:/Game" holds "c:/game/Data".
    const auto outerSize = static_cast<int>(outer.size());
    if (inner.size() <= outer.size() ||
        CompareStringOrdinal(inner.data(), outerSize, outer.data(), outerSize, TRUE) != CSTR_EQUAL) {
        return false;
    }
    // A drive's root ends in '/' already; any other folder must be followed by one, so "C:/game-evil" is not in
    // "C:/game".
    return outer.back() == L'/' || inner[outer.size()] == L'/';
}

} // namespace platform
