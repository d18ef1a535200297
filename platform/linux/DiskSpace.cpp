// Free space through statvfs: the blocks available to unprivileged users, not the raw free count.
#include "platform/DiskSpace.hpp"

#include <sys/statvfs.h>

namespace platform {

std::optional<std::uint64_t> AvailableBytes(const std::string& path) {
    struct statvfs info {};
    if (path.empty() || ::statvfs(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(info.f_bavail) * static_cast<std::uint64_t>(info.f_frsize);
}

} // namespace platform
