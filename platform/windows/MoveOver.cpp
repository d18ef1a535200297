// MoveFileExW with write-through, tried again while the target is held.
#include "platform/windows/MoveOver.hpp"

#include "platform/windows/Win32.hpp"

#include <thread>

namespace platform::detail {

namespace {

constexpr std::chrono::milliseconds retryPause{100};

bool isTransientRenameError(DWORD code) {
    return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION || code == ERROR_ACCESS_DENIED;
}

} // namespace

unsigned long moveOver(const std::wstring& from, const std::wstring& to, std::chrono::milliseconds patience) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (;;) {
        // WRITE_THROUGH: the call returns once the rename is on disk, not merely in the cache.
        if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0)
            return 0;
        const DWORD code = GetLastError();
        if (!isTransientRenameError(code) || std::chrono::steady_clock::now() >= deadline)
            return code;
        std::this_thread::sleep_for(retryPause);
    }
}

} // namespace platform::detail
