// A rename over an existing file, waiting out the short holds that scanners, indexers and ending processes put on it.
#pragma once

#include <chrono>
#include <string>

namespace platform::detail {

/// MoveFileExW from `from` over `to` (paths as systemPath gives them), returning once the change is on the disk.
/// While `to` is held (sharing, lock or access errors) it tries again until `patience` has passed. 0 on success,
/// else the last error code.
[[nodiscard]] unsigned long moveOver(const std::wstring& from, const std::wstring& to,
                                     std::chrono::milliseconds patience);

} // namespace platform::detail
