// MD5 of a file on disk, as the launcher server writes checksums: 32 lower-case hex characters.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

/// Bytes read per block: small reads let system-call cost dominate (1 KiB blocks halve the throughput).
inline constexpr std::size_t hashBlockSize = 256 * 1024;

/// The step at which hashing a file failed.
enum class HashFailure { None, Open, Read };

struct FileHash {
    std::string hex;    // 32 lower-case hex characters; empty exactly when `failure` is not None
    std::string sha256; // 64 lower-case hex characters when asked for and hashed, empty otherwise
    HashFailure failure = HashFailure::None;
    int error = 0; // the OS's error number

    /// The failure in words, naming `path`: "cannot open 'x': No such file or directory".
    [[nodiscard]] std::string describe(const std::string& path) const;
};

/// The MD5 of the file at `path`, and its SHA-256 `withSha256`, read once from start to end; `onBytes`, when set,
/// hears the size of each block. Prints nothing.
[[nodiscard]] FileHash hashFile(const std::string& path, const std::function<void(std::size_t)>& onBytes = {},
                                bool withSha256 = false);

/// The file's MD5 in lower-case hex, or the empty text when it cannot be computed; either way one diagnostic line
/// on the standard output says what happened.
[[nodiscard]] std::string FileMd5(const std::string& path);
/// The same, and the SHA-256 `withSha256` with a line of its own.
[[nodiscard]] FileHash hashFileReported(const std::string& path, bool withSha256);
