// Keeping one file equal to the server's copy, and the path and file helpers around it.
#pragma once

#include "sync/Downloader.hpp"
#include "sync/StopFlag.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

/// Splits a download address at the first '/' after its first '.'; base + path is the address again.
[[nodiscard]] std::pair<std::string, std::string> SplitUrl(const std::string& address);

/// True when `fullPath` can be opened for reading and, unless `checksum` is empty, its MD5 equals `checksum` and its
/// SHA-256 equals `sha256` (unless that is empty).
[[nodiscard]] bool VerifyFile(const std::string& fullPath, const std::string& checksum, const std::string& sha256 = {});

/// Compares a file's SHA-256 with the one the list gives, with the lines that say so; true when the list gives none.
[[nodiscard]] bool CheckSha256(const std::string& actual, const std::string& expected);

/// Creates every folder along `path`.
void CreateFolders(const std::string& path);
/// Creates the folder part of a file path when it is missing.
void EnsureParentFolder(const std::string& filePath);

/// Why a file is not in line yet, as the status line tells a player.
enum class SyncFailure { None, NotFound, Unreachable, ChecksumMismatch, DiskFull, CannotWrite, Stopped };

struct SyncOutcome {
    SyncFailure failure = SyncFailure::None;
    std::uint64_t bytesShort = 0; // DiskFull: how many more bytes the file's folder needs (0: not known)

    [[nodiscard]] explicit operator bool() const noexcept { return failure == SyncFailure::None; }
};

/// The download that brings the file at the full path `target` from base + path, with "?<random>" to defeat caches:
/// the folders on the way are created, and the request printed ("File Not exists", "Start Downloading ...").
/// Nullopt, with a line saying so, when a folder stands where the file goes: it is never replaced.
[[nodiscard]] std::optional<DownloadRequest> PrepareDownload(const std::string& base, const std::string& path,
                                                             const std::string& target, const std::string& checksum,
                                                             std::optional<std::uint64_t> size,
                                                             const std::string& sha256 = {});
/// What a finished download of `target` means for the file, with its lines ("MD5 OK!", "Download failed: ...").
[[nodiscard]] SyncOutcome DownloadOutcome(const DownloadResult& result, const std::string& target,
                                          const std::string& checksum, const std::string& sha256 = {});

/// Checks the file at `location` and downloads base + path + "?<random>" over it when it is missing or wrong,
/// resuming what an earlier attempt or run left, with the MD5 taken from the bytes as they arrive.
/// `fullPath` receives FullPath(location) first, whatever the outcome. Succeeds only when the file checks out, by its
/// SHA-256 too when `sha256` is given; a download that does not never takes the file's place. `size`, the list's,
/// caps the download.
[[nodiscard]] SyncOutcome SyncFile(const std::string& base, const std::string& path, const std::string& location,
                                   const std::string& checksum, std::string& fullPath, Downloader& downloader,
                                   std::optional<std::uint64_t> size = std::nullopt, const std::string& sha256 = {});
/// The same through a downloader of its own.
[[nodiscard]] bool SyncFile(const std::string& base, const std::string& path, const std::string& location,
                            const std::string& checksum, std::string& fullPath, const StopFlag& stop);

/// Copies the bytes of `source` to `target` (both resolved with FullPath); false when it could not, or when `stop`
/// was set before it finished, and then the target is left as it was.
bool CopyFileContents(const std::string& source, const std::string& target, const StopFlag& stop);
