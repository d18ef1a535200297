// Digests of a file on disk: its MD5 as the launcher server writes checksums (32 lower-case hex characters), and
// its SHA-256.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

/// Bytes read per block: small reads let system-call cost dominate (1 KiB blocks halve the throughput).
inline constexpr std::size_t hashBlockSize = 256 * 1024;

/// The step at which hashing a file failed.
enum class HashFailure { None, Open, Read };

struct FileHash {
    std::string hex; // the digest in lower-case hex; empty exactly when `failure` is not None
    HashFailure failure = HashFailure::None;
    int error = 0; // the OS's error number

    /// The failure in words, naming `path`: "cannot open 'x': No such file or directory".
    [[nodiscard]] std::string describe(const std::string& path) const;
};

/// The MD5 of the file at `path`, read once from start to end; `onBytes`, when set, hears the size of each block.
/// Prints nothing.
[[nodiscard]] FileHash hashFile(const std::string& path, const std::function<void(std::size_t)>& onBytes = {});

/// The SHA-256 of the file at `path` (64 lower-case hex characters), read as hashFile reads. Prints nothing.
[[nodiscard]] FileHash hashFileSha256(const std::string& path);

/// The file's MD5 in lower-case hex, or the empty text when it cannot be computed; either way one diagnostic line
/// on the standard output says what happened.
[[nodiscard]] std::string FileMd5(const std::string& path);
