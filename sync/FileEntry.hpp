// One game file the launcher keeps in line with the server's list.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct FileEntry {
    std::int32_t game_data = 0; // 1: part of the full game, fetched only when the player chose the full download
    std::int32_t required = 0;  // non-zero: needed before Play is allowed
    std::string location;       // relative to the game folder, '/' or '\' separated
    std::string checksum;       // lower-case hex MD5, or empty to accept any existing file
    std::string URL;
    std::optional<std::uint64_t> size =
        std::nullopt;     // bytes, when the list says: the download progress knows its total then
    std::string sha256{}; // lower-case hex SHA-256 that must match as well; empty: none (a signed list only)

    friend bool operator==(const FileEntry&, const FileEntry&) = default;
};
