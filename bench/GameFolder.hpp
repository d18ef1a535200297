// An installed game folder for the start-up benchmarks: files of random bytes in a few sub-folders, their checksums
// in sums.md5 (written by md5sum), modified an hour ago as a player's installed game is.
#pragma once

#include "sync/FileEntry.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace bench_support {

/// Writes `count` files of `bytes` each (rounded down to whole 8-byte words) under `folder`/Data and their sums.
inline bool makeGameFolder(const std::filesystem::path& folder, int count, std::uintmax_t bytes) {
    std::mt19937_64 random(42);
    std::vector<std::uint64_t> block(bytes / sizeof(std::uint64_t));
    for (int i = 0; i < count; ++i) {
        const std::filesystem::path file =
            folder / "Data" / std::to_string(i % 10) / ("file" + std::to_string(i) + ".bin");
        std::filesystem::create_directories(file.parent_path());
        std::generate(block.begin(), block.end(), random);
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(block.data()),
                  static_cast<std::streamsize>(block.size() * sizeof(std::uint64_t)));
        if (!out)
            return false;
    }
    // Installed long ago, as a player's game is: files written moments before they are read are never trusted.
    const std::string command = "cd '" + folder.string() +
                                "' && find Data -type f | sort | xargs -r md5sum > sums.md5"
                                " && find Data -type f -exec touch -d '1 hour ago' {} +";
    return std::system(command.c_str()) == 0;
}

/// One required entry per line of `sums`, fetched from `server` + its location should it ever be downloaded.
inline std::vector<FileEntry> readEntries(const std::filesystem::path& sums, const std::string& server) {
    std::vector<FileEntry> entries;
    std::ifstream in(sums);
    std::string checksum;
    std::string location;
    while (in >> checksum >> location)
        entries.push_back(FileEntry{0, 1, location, checksum, server + location});
    return entries;
}

} // namespace bench_support
