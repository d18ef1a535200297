// Hashes a list of files on all cores: a fixed set of threads takes the files largest first.
#pragma once

#include "tools/manifest/FolderScan.hpp"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

/// Counters the workers advance and the progress display reads.
struct HashProgress {
    std::atomic<std::uint64_t> bytesDone{0};
    std::atomic<std::size_t> filesDone{0};
};

struct HashPoolResult {
    bool ok = false;
    std::vector<std::string> checksums; // lower-case hex MD5, in the order of the input files
    std::vector<std::string> sha256s;   // lower-case hex SHA-256 in the same order, when asked for
    std::string error;                  // the first failure, when !ok
};

struct HashPoolOptions {
    unsigned threads = 0;    // 0: one per hardware thread
    bool withSha256 = false; // each file's SHA-256 too, from the same read
    /// Called on the calling thread about every `tickInterval` while the workers run, and once at the end.
    std::function<void(const HashProgress&)> onTick;
    std::chrono::milliseconds tickInterval{200};
};

/// Hashes every file; after the first failure the workers take no further files.
[[nodiscard]] HashPoolResult hashFiles(const std::vector<ScannedFile>& files, const HashPoolOptions& options);
