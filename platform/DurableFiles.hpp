// Making files that are already written reach the disk, for records that vouch for their contents across a power
// cut: a file's bytes may sit in the system's cache long after the program that wrote them has ended.
#pragma once

#include <string>
#include <vector>

namespace platform {

/// Waits until the contents of each file in `paths` are on the disk; returns the paths it could not vouch for (gone,
/// unreadable, or the flush failed). On Linux one sync per file system they lie on; on Windows FlushFileBuffers per
/// file, which needs write access: a read-only file is returned.
[[nodiscard]] std::vector<std::string> FlushToDisk(const std::vector<std::string>& paths);

} // namespace platform
