// Reading the server document's keys the way the launcher always has: missing or mistyped keys read as empty,
// 0 or no elements, and never stop the launcher.
#pragma once

#include "net/JsonValue.hpp"
#include "sync/FileEntry.hpp"
#include "sync/Language.hpp"

#include <string>
#include <vector>

struct MusicSource {
    std::string URL;
    std::string location;
    std::string checksum;
};

/// "music" → "URL", "location", "checksum".
[[nodiscard]] MusicSource readMusic(JsonValue& serverData);

/// One entry per file and location, in the order of "files" and of each "location" array.
[[nodiscard]] std::vector<FileEntry> readFileList(JsonValue& serverData);

/// The "removes" paths in array order.
[[nodiscard]] std::vector<std::string> readRemovals(JsonValue& serverData);

/// Finglish exactly when "lang" is "fa".
[[nodiscard]] Language readLanguage(JsonValue& serverData);

/// The realm lines: name, ": ", then "Online" when the state is the integer 1, else "Offline".
[[nodiscard]] std::vector<std::string> readRealmLines(JsonValue& serverData);

/// The host name of an address ("https://www.example.org/x" gives "www.example.org"); empty when it has none.
[[nodiscard]] std::string hostOf(const std::string& address);
