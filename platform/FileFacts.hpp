// What the file system says about a file without reading it: size, modification time and identity.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

/// Facts that change whenever a file is written or replaced: any write moves the modification time or the size,
/// and a file replaced under the same name (a copy, an unpacked archive, a rename over it) gets a new identity.
struct FileFacts {
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0; // modification time, nanoseconds since 1970-01-01 UTC
    std::uint64_t volume = 0;    // the device (Linux st_dev) or volume serial number (Windows)
    std::uint64_t identity = 0;  // the inode (Linux) or file ID (Windows) on that volume

    friend bool operator==(const FileFacts&, const FileFacts&) = default;
};

/// The facts of the regular file at `path` (symbolic links followed); nullopt when it is missing, is not a regular
/// file or cannot be queried. Nothing of the file's contents is read.
[[nodiscard]] std::optional<FileFacts> ReadFileFacts(const std::string& path);

} // namespace platform
