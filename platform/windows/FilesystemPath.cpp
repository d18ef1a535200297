// Wide names in and out: the narrow forms of std::filesystem go through the ANSI code page on Windows.
#include "platform/FilesystemPath.hpp"

#include "platform/windows/SystemPath.hpp"
#include "platform/windows/WideText.hpp"

namespace platform::detail {

std::filesystem::path filesystemPath(const std::string& path) {
    return toWide(path);
}

std::string launcherText(const std::filesystem::path& path) {
    return launcherPath(path.native());
}

} // namespace platform::detail
