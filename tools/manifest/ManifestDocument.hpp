// The server document the manifest goes into: read from disk, checked, and written with a new "files" array.
#pragma once

#include "net/JsonValue.hpp"
#include "tools/manifest/ManifestEntry.hpp"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

struct DocumentLoad {
    std::optional<JsonValue> document; // an Object, when the file could be used
    std::string error;                 // why not, otherwise
};

/// Reads and parses `path`. A missing file gives an empty object when `missingIsEmpty` is set (a document
/// written in place for the first time). Any fault the lenient parser reports fails the load, as does a root
/// that is no object: writing back what the parser salvaged would silently drop the admin's settings.
[[nodiscard]] DocumentLoad loadManifestDocument(const std::filesystem::path& path, bool missingIsEmpty);

/// The same for a text already in memory; `origin` names it in the error.
[[nodiscard]] DocumentLoad parseManifestDocument(std::string_view text, const std::string& origin);

/// `document` as pretty-printed JSON with its "files" member replaced by `entries` (added when absent);
/// every other member is kept with its value.
[[nodiscard]] std::string writeManifestDocument(const JsonValue& document, const std::vector<ManifestEntry>& entries);
