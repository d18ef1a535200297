// FlushFileBuffers per file: flushing a whole volume needs an administrator, which the launcher is not.
#include "platform/DurableFiles.hpp"

#include "platform/windows/SystemPath.hpp"
#include "platform/windows/UniqueHandle.hpp"
#include "platform/windows/Win32.hpp"

namespace platform {

std::vector<std::string> FlushToDisk(const std::vector<std::string>& paths) {
    std::vector<std::string> failed;
    for (const std::string& path : paths) {
        const std::wstring full = detail::systemPath(path);
        // Write access is what FlushFileBuffers asks for; the sharing lets a reader or the game keep the file open.
        const detail::UniqueHandle file(full.empty()
                                            ? INVALID_HANDLE_VALUE
                                            : CreateFileW(full.c_str(), GENERIC_WRITE,
                                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file || GetFileType(file.get()) != FILE_TYPE_DISK || FlushFileBuffers(file.get()) == 0)
            failed.push_back(path);
    }
    return failed;
}

} // namespace platform
