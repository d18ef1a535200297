// The server document as the launcher reads it: every key read once, in one place, into plain values. Missing or
// mistyped keys read as empty, 0 or no elements, and never stop the launcher.
#pragma once

#include "net/JsonValue.hpp"
#include "sync/Downloader.hpp"
#include "sync/FileEntry.hpp"
#include "sync/Language.hpp"
#include "sync/ProgramRelease.hpp"
#include "ui/LinkAddresses.hpp"

#include <cstdint>
#include <string>
#include <vector>

struct MusicSource {
    std::string URL;
    std::string location;
    std::string checksum;
};

/// "launcher_update": a newer launcher, acted on only when the document's signature verified.
struct LauncherUpdate {
    std::int32_t version = 0; // "version"
    ProgramRelease program;   // the entry for this OS, "windows" or "linux"; the SHA-256 in lower case
};

/// Everything the launcher takes from the server's document. The texts a person reads (announcement, realm names)
/// and the realm list have their escapes decoded (decodeJsonText); every other text is as `asText` gives it, with
/// the JSON escapes of the stored bytes kept.
struct ServerDocument {
    MusicSource music;                           // "music"
    std::vector<std::string> realmlistLocations; // "realmlist_locations": candidate folders, in order
    std::string realmlist;                       // "realmlist": the realm list file's whole text, decoded
    std::vector<FileEntry> files;                // "files": one entry per file and location
    std::vector<std::string> removals;           // "removes", in array order
    std::string languageCode;                    // "lang" as sent
    Language language = Language::English;       // Finglish exactly when "lang" is "fa"
    std::int32_t version = 0;                    // "version": the newest launcher version
    std::string launcherLocation;                // "launcher_location": where the new launcher lies
    LauncherUpdate launcherUpdate;               // "launcher_update"
    std::string execute;                         // "execute": what Play starts, relative to the game folder
    std::string announcement;                    // "announce"
    std::vector<std::string> realmLines;         // "realms": name, ": ", then "Online" or "Offline"
    LinkAddresses links;                         // "links" and the top-level "discord"
    /// "connections": how many the file worker opens to the server at most, 1 to DownloadOptions::maxConnections.
    unsigned connections = DownloadOptions::defaultConnections;
};

/// Reads every key of `serverData`. The lookups add the absent keys to it as nulls, which nothing else sees. A file's
/// "sha256" is taken only from a `signedDocument`: unsigned, it would promise a protection it cannot give.
[[nodiscard]] ServerDocument readServerDocument(JsonValue& serverData, bool signedDocument = false);

/// The host name of an address ("https://www.example.org/x" gives "www.example.org"); empty when it has none.
[[nodiscard]] std::string hostOf(const std::string& address);
