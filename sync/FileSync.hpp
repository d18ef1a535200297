// Keeping one file equal to the server's copy, and the path and file helpers around it.
#pragma once

#include "sync/StopFlag.hpp"

#include <string>
#include <utility>

/// Splits a download address at the first '/' after its first '.'; base + path is the address again.
[[nodiscard]] std::pair<std::string, std::string> SplitUrl(const std::string& address);

/// True when `fullPath` can be opened for reading and, unless `checksum` is empty, its MD5 equals `checksum`.
[[nodiscard]] bool VerifyFile(const std::string& fullPath, const std::string& checksum);

/// Creates every folder along `path`.
void CreateFolders(const std::string& path);
/// Creates the folder part of a file path when it is missing.
void EnsureParentFolder(const std::string& filePath);

/// Checks the file at `location` and downloads base + path + "?<random>" over it when it is missing or wrong.
/// `fullPath` receives FullPath(location) first, whatever the outcome. True only when the file checks out.
[[nodiscard]] bool SyncFile(const std::string& base, const std::string& path, const std::string& location,
                            const std::string& checksum, std::string& fullPath, const StopFlag& stop);

/// Copies the bytes of `source` to `target` (both resolved with FullPath); false when it could not, or when `stop`
/// was set before it finished, and then the target is left as it was.
bool CopyFileContents(const std::string& source, const std::string& target, const StopFlag& stop);
