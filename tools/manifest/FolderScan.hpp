// Walks the folder of game files and lists the regular files to publish, sorted by relative path.
#pragma once

#include "tools/manifest/GlobPattern.hpp"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct ScannedFile {
    std::string relativePath; // '/' separators, relative to the scanned folder
    std::filesystem::path path;
    std::uint64_t size = 0;
};

struct ScanOptions {
    std::vector<GlobPattern> excludes;            // a matching folder is not entered, a matching file not listed
    bool includeHidden = false;                   // names starting with '.' (files and folders) are skipped unless set
    std::vector<std::filesystem::path> skipPaths; // files never listed, such as the document being written
};

struct ScanResult {
    bool ok = false;
    std::vector<ScannedFile> files; // sorted byte-wise by relativePath
    std::string error;              // what failed, with the path, when !ok
    std::vector<std::string> warnings;
};

/// Lists every regular file under `root` (symbolic links to files count; linked folders are not entered).
/// Any folder that cannot be read fails the whole scan: a manifest that silently misses files would make
/// the launcher delete nothing and fetch nothing for them, which nobody would notice.
[[nodiscard]] ScanResult scanFolder(const std::filesystem::path& root, const ScanOptions& options);
