// Free space through GetDiskFreeSpaceExW: what this user may still write, quotas taken off.
#include "platform/DiskSpace.hpp"

#include "platform/windows/SystemPath.hpp"
#include "platform/windows/Win32.hpp"

namespace platform {

std::optional<std::uint64_t> AvailableBytes(const std::string& path) {
    if (path.empty()) {
        return std::nullopt;
    }
    // The call wants a folder; a file's own folder is on the same volume.
    std::wstring folder = detail::systemPath(path);
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return std::nullopt;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        const std::size_t cut = folder.find_last_of(L'\\');
        if (cut == std::wstring::npos) {
            return std::nullopt;
        }
        folder.resize(cut + 1);
    } else if (folder.back() != L'\\') {
        folder.push_back(L'\\');
    }
    ULARGE_INTEGER available{};
    if (GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr) == 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(available.QuadPart);
}

} // namespace platform
