// MD5 of a file on disk, as the launcher server writes checksums: 32 lower-case hex characters.
#pragma once

#include <string>

/// The file's MD5 in lower-case hex, or the empty text (after a diagnostic line) when it cannot be computed.
[[nodiscard]] std::string FileMd5(const std::string& path);
