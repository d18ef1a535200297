// One element of the server document's "files" array, built from a scanned file and the admin's rules.
#pragma once

#include "tools/manifest/FolderScan.hpp"
#include "tools/manifest/GlobPattern.hpp"

#include <cstdint>
#include <string>
#include <vector>

struct ManifestEntry {
    std::string url;
    std::string checksum; // lower-case hex MD5
    std::string location; // relative path with the chosen separator
    std::int32_t required = 0;
    std::int32_t gameData = 0;
    std::uint64_t size = 0; // bytes
    std::string sha256{};   // lower-case hex SHA-256; empty: not written
};

struct ManifestRules {
    std::string baseUrl;               // checked, ends in '/'
    std::vector<GlobPattern> required; // matching files get "required": 1
    std::vector<GlobPattern> gameData; // matching files get "game_data": 1
    char separator = '\\';             // the launcher runs on Windows
};

/// The entry of `file`: URL = base + percent-encoded relative path, location with `rules.separator`.
[[nodiscard]] ManifestEntry makeManifestEntry(const ScannedFile& file, std::string checksum,
                                              const ManifestRules& rules);

class JsonWriter;
/// Writes `entries` as the "files" array: one object per entry with "URL", "checksum", "sha256" (when known),
/// "location", "required", "game_data" and "size".
void writeFilesArray(JsonWriter& writer, const std::vector<ManifestEntry>& entries);
