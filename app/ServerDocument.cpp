// Reads the keys of the server document into the launcher's own structures, each key once.
#include "app/ServerDocument.hpp"

#include "net/JsonText.hpp"
#include "platform/RunningProgram.hpp"

#include <algorithm>
#include <cctype>
#include <optional>

namespace {

// A "location" array of one element or none falls to the string branch and reads as the empty location, which
// the file worker then refuses; a server sends a single location as a plain string.
constexpr std::int32_t minLocationsForArray = 2;

// A realm is [name, state].
constexpr std::uint32_t realmName = 0;
constexpr std::uint32_t realmState = 1;

std::vector<std::string> readStrings(JsonValue& array) {
    std::vector<std::string> texts;
    const std::int32_t count = array.arrayLength();
    for (std::int32_t i = 0; i < count; ++i)
        texts.push_back(array[static_cast<std::uint32_t>(i)].asText());
    return texts;
}

// "size" in bytes. The parser's integers stop at 2^31 - 1, so a larger file's size comes as a number with a
// fraction part or an exponent ("4294967296.0"), which reads exactly up to 2^53. Anything else, negative or
// not a whole number, is no size at all.
std::optional<std::uint64_t> readSize(const JsonValue& size) {
    constexpr double largestExact = 9007199254740992.0; // 2^53
    if (size.type() == JsonType::Integral && size.asInt() >= 0)
        return static_cast<std::uint64_t>(size.asInt());
    if (size.type() == JsonType::Floating) {
        const double bytes = size.floatingValue();
        if (bytes >= 0 && bytes <= largestExact && bytes == static_cast<double>(static_cast<std::uint64_t>(bytes)))
            return static_cast<std::uint64_t>(bytes);
    }
    return std::nullopt;
}

// Hex carries no meaning in its letter case, so an admin's upper-case SHA-256 is as good as a lower-case one.
std::string lowerCase(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::vector<FileEntry> readFileList(JsonValue& files, bool signedDocument) {
    std::vector<FileEntry> entries;
    const std::int32_t count = files.arrayLength();
    for (std::int32_t i = 0; i < count; ++i) {
        JsonValue& file = files[static_cast<std::uint32_t>(i)];
        FileEntry entry;
        entry.URL = file["URL"].asText();
        entry.checksum = file["checksum"].asText();
        // Beside an empty "checksum", which accepts any file that is there, a SHA-256 would never be looked at.
        if (signedDocument && !entry.checksum.empty())
            entry.sha256 = lowerCase(file["sha256"].asText());
        entry.required = file["required"].asInt();
        entry.game_data = file["game_data"].asInt();
        entry.size = readSize(file["size"]);
        JsonValue& location = file["location"];
        if (location.arrayLength() >= minLocationsForArray) {
            for (std::string& place : readStrings(location)) {
                entry.location = std::move(place);
                entries.push_back(entry);
            }
        } else {
            entry.location = location.asText();
            entries.push_back(std::move(entry));
        }
    }
    return entries;
}

std::vector<std::string> readRealmLines(JsonValue& realms) {
    std::vector<std::string> lines;
    const std::int32_t count = realms.arrayLength();
    for (std::int32_t i = 0; i < count; ++i) {
        JsonValue& realm = realms[static_cast<std::uint32_t>(i)];
        const std::string name = decodeJsonText(realm[realmName].asText());
        const bool online = realm[realmState].asInt() == 1;
        lines.push_back(name + ": " + (online ? "Online" : "Offline"));
    }
    return lines;
}

LauncherUpdate readLauncherUpdate(JsonValue& update) {
    LauncherUpdate offer;
    offer.version = update["version"].asInt();
    JsonValue& program = update[platform::SystemName()];
    offer.program.URL = program["URL"].asText();
    offer.program.size = readSize(program["size"]);
    // Tools print digests in either case; the launcher's own is lower case.
    offer.program.sha256 = program["sha256"].asText();
    std::transform(offer.program.sha256.begin(), offer.program.sha256.end(), offer.program.sha256.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return offer;
}

LinkAddresses readLinks(JsonValue& serverData) {
    JsonValue& links = serverData["links"];
    LinkAddresses addresses;
    addresses.website = links["website"].asText();
    addresses.registration = links["register"].asText();
    addresses.recruit = links["recruit"].asText();
    addresses.unstuck = links["unstuck"].asText();
    addresses.vote = links["vote"].asText();
    addresses.guide = links["guide"].asText();
    addresses.donate = links["donate"].asText();
    // Discord's address stands at the top level of the document, not under "links".
    addresses.discord = serverData["discord"].asText();
    return addresses;
}

// "connections": a community may lower it for a small server or raise it for a far one. A number above the most is
// taken as the most, which is what the admin asked for as far as it goes; anything else is no choice at all.
unsigned readConnections(const JsonValue& connections) {
    if (connections.type() != JsonType::Integral || connections.asInt() < 1)
        return DownloadOptions::defaultConnections;
    return static_cast<unsigned>(std::min<std::int64_t>(connections.asInt(), DownloadOptions::maxConnections));
}

} // namespace

ServerDocument readServerDocument(JsonValue& serverData, bool signedDocument) {
    ServerDocument document;
    JsonValue& music = serverData["music"];
    document.music = {music["URL"].asText(), music["location"].asText(), music["checksum"].asText()};
    document.realmlistLocations = readStrings(serverData["realmlist_locations"]);
    // What a person reads and what the game reads from its realm list file get their escapes decoded here, once;
    // every other text keeps the escaped form asText gives.
    document.realmlist = decodeJsonText(serverData["realmlist"].asText());
    document.files = readFileList(serverData["files"], signedDocument);
    document.removals = readStrings(serverData["removes"]);
    document.languageCode = serverData["lang"].asText();
    document.language = document.languageCode == "fa" ? Language::Finglish : Language::English;
    document.version = serverData["version"].asInt();
    document.launcherLocation = serverData["launcher_location"].asText();
    document.launcherUpdate = readLauncherUpdate(serverData["launcher_update"]);
    document.execute = serverData["execute"].asText();
    document.announcement = decodeJsonText(serverData["announce"].asText());
    document.realmLines = readRealmLines(serverData["realms"]);
    document.links = readLinks(serverData);
    document.connections = readConnections(serverData["connections"]);
    return document;
}

std::string hostOf(const std::string& address) {
    std::string_view rest = address;
    if (const auto scheme = rest.find("://"); scheme != std::string_view::npos)
        rest.remove_prefix(scheme + 3);
    rest = rest.substr(0, rest.find_first_of("/?#"));
    if (const auto at = rest.rfind('@'); at != std::string_view::npos)
        rest.remove_prefix(at + 1);
    if (const auto colon = rest.rfind(':'); colon != std::string_view::npos && rest.find(']') == std::string_view::npos)
        rest = rest.substr(0, colon);
    return std::string(rest);
}
