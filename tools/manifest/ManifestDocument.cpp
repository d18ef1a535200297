// Merge of the generated "files" array into the admin's document; members come out in the parser's key order,
// which is the only order the launcher ever sees.
#include "tools/manifest/ManifestDocument.hpp"

#include "net/JsonWriter.hpp"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

constexpr const char* filesKey = "files";

} // namespace

DocumentLoad parseManifestDocument(std::string_view text, const std::string& origin) {
    std::ostringstream diagnostics;
    JsonValue document = JsonValue::parse(text, diagnostics);
    if (!diagnostics.str().empty()) {
        return {std::nullopt, origin + " is not valid JSON:\n" + diagnostics.str()};
    }
    if (document.type() != JsonType::Object) {
        return {std::nullopt, origin + " does not hold a JSON object"};
    }
    return {std::move(document), {}};
}

DocumentLoad loadManifestDocument(const std::filesystem::path& path, bool missingIsEmpty) {
    std::error_code error;
    if (missingIsEmpty && !std::filesystem::exists(path, error) && !error) {
        return {JsonValue::make(JsonType::Object), {}};
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return {std::nullopt, "cannot read '" + path.string() + "': " + std::strerror(errno)};
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        return {std::nullopt, "cannot read '" + path.string() + "'"};
    }
    return parseManifestDocument(text.str(), "'" + path.string() + "'");
}

std::string writeManifestDocument(const JsonValue& document, const std::vector<ManifestEntry>& entries) {
    JsonWriter writer;
    writer.beginObject();
    bool filesWritten = false;
    const auto writeFiles = [&] {
        writer.key(filesKey);
        writeFilesArray(writer, entries);
        filesWritten = true;
    };
    if (const JsonValue::ObjectMap* members = document.objectValue()) {
        for (const auto& [name, member] : *members) {
            if (!filesWritten && name >= filesKey) {
                writeFiles();
                if (name == filesKey) {
                    continue;
                }
            }
            writer.storedKey(name);
            writer.value(member);
        }
    }
    if (!filesWritten) {
        writeFiles();
    }
    writer.endObject();
    return writer.text();
}
