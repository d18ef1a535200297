// Paths are bytes on Linux: the launcher's texts pass through std::filesystem unchanged.
#include "platform/FilesystemPath.hpp"

namespace platform::detail {

std::filesystem::path filesystemPath(const std::string& path) {
    return path;
}

std::string launcherText(const std::filesystem::path& path) {
    return path.string();
}

} // namespace platform::detail
