// Telling a network share or a device from a file path by its text alone: asking the file system would already
// reach the share, and Windows sends the player's credentials to any host named that way.
#include "platform/FileSystem.hpp"

#include "platform/PathText.hpp"

#include <algorithm>
#include <array>

namespace platform {

namespace {

// The names Windows gives to devices in every folder, whatever extension follows ("NUL.txt" is NUL too).
constexpr std::array<std::string_view, 24> deviceNames{
    "CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7",   "COM8",
    "COM9", "LPT1", "LPT2", "LPT3", "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9", "CONIN$", "CONOUT$"};

// "COM1.log " names the device COM1: Windows drops the extension and trailing spaces and dots.
bool isDeviceName(std::string_view name) {
    name = name.substr(0, name.find('.'));
    while (!name.empty() && name.back() == ' ') {
        name.remove_suffix(1);
    }
    return std::any_of(deviceNames.begin(), deviceNames.end(),
                       [name](std::string_view device) { return detail::sameIgnoringAsciiCase(name, device); });
}

} // namespace

bool IsNetworkOrDevicePath(std::string_view path) {
    // Two separators in front: "\\host\share", "//host/share", "\\?\UNC\host", "\\.\COM1", "\\?\C:\".
    if (path.size() >= 2 && detail::isSeparator(path[0]) && detail::isSeparator(path[1])) {
        return true;
    }
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = start;
        while (end < path.size() && !detail::isSeparator(path[end])) {
            ++end;
        }
        // A drive letter's colon is no part of the name after it ("C:NUL" is NUL).
        std::string_view name = path.substr(start, end - start);
        if (start == 0 && name.size() >= 2 && name[1] == ':') {
            name.remove_prefix(2);
        }
        if (isDeviceName(name)) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

} // namespace platform
