// How much room a volume has left for the launcher's files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

/// Bytes that this user may still write on the volume holding `path` (an existing file or folder), quotas and
/// space reserved for the administrator taken off; nullopt when the system cannot tell.
/// Linux: statvfs (f_bavail × f_frsize). Windows: GetDiskFreeSpaceExW's "free bytes available to caller".
[[nodiscard]] std::optional<std::uint64_t> AvailableBytes(const std::string& path);

} // namespace platform
