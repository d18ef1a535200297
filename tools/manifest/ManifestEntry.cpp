// File objects as the launcher reads them: strings for the texts, the numbers 1 and 0 for the flags
// (a JSON true would read as 0), and the size in bytes for the launcher's download progress.
#include "tools/manifest/ManifestEntry.hpp"

#include "net/JsonWriter.hpp"
#include "tools/manifest/UrlPath.hpp"

#include <algorithm>
#include <limits>

ManifestEntry makeManifestEntry(const ScannedFile& file, std::string checksum, const ManifestRules& rules) {
    ManifestEntry entry;
    entry.url = rules.baseUrl + percentEncodePath(file.relativePath);
    entry.checksum = std::move(checksum);
    entry.location = file.relativePath;
    std::replace(entry.location.begin(), entry.location.end(), '/', rules.separator);
    entry.required = anyMatches(rules.required, file.relativePath) ? 1 : 0;
    entry.gameData = anyMatches(rules.gameData, file.relativePath) ? 1 : 0;
    entry.size = file.size;
    return entry;
}

void writeFilesArray(JsonWriter& writer, const std::vector<ManifestEntry>& entries) {
    writer.beginArray();
    for (const auto& entry : entries) {
        writer.beginObject();
        writer.key("URL");
        writer.value(std::string_view(entry.url));
        writer.key("checksum");
        writer.value(std::string_view(entry.checksum));
        if (!entry.sha256.empty()) {
            writer.key("sha256");
            writer.value(std::string_view(entry.sha256));
        }
        writer.key("location");
        writer.value(std::string_view(entry.location));
        writer.key("required");
        writer.value(entry.required);
        writer.key("game_data");
        writer.value(entry.gameData);
        writer.key("size");
        // The launcher's parser reads integers up to 2^31 - 1 only; a larger size goes as a number with a fraction
        // part, which it reads exactly up to 2^53.
        if (entry.size <= static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()))
            writer.value(static_cast<std::int32_t>(entry.size));
        else
            writer.value(static_cast<double>(entry.size));
        writer.endObject();
    }
    writer.endArray();
}
