// The highest serial of a signed server document this player has seen, so that an older signed document, replayed
// by whoever stands between the launcher and its server, is refused.
#pragma once

#include <cstdint>
#include <string>

/// The file that keeps the highest serial seen from `serverAddress`, in the user's cache folder; empty when the user
/// has none.
[[nodiscard]] std::string seenSerialFile(const std::string& serverAddress);

/// The serial kept in `file`; 0 when the file is missing, unreadable or damaged: a damaged record counts as none.
[[nodiscard]] std::uint64_t readSeenSerial(const std::string& file);

/// Keeps `serial` in `file`, written whole beside it and renamed into place; false when it could not be written.
[[nodiscard]] bool writeSeenSerial(const std::string& file, std::uint64_t serial);
