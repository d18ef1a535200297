// Reading the server document: mistyped and missing keys, "location" arrays, "lang", realms.
#include "app/ServerDocument.hpp"

#include "platform/RunningProgram.hpp"

#include <gtest/gtest.h>

#include <sstream>

namespace {

ServerDocument read(std::string_view text) {
    std::ostringstream diagnostics;
    JsonValue document = JsonValue::parse(text, diagnostics);
    return readServerDocument(document);
}

TEST(ServerDocumentTest, Sha256IsTakenFromASignedDocumentOnly) {
    constexpr std::string_view text = R"({"files": [
        {"URL": "u", "checksum": "aa", "location": "a", "sha256": "0123456789ABCDEF"},
        {"URL": "u", "checksum": "", "location": "b", "sha256": "0123"}]})";
    std::ostringstream diagnostics;
    JsonValue document = JsonValue::parse(text, diagnostics);
    const ServerDocument signedDocument = readServerDocument(document, true);
    ASSERT_EQ(signedDocument.files.size(), 2u);
    EXPECT_EQ(signedDocument.files[0].sha256, "0123456789abcdef");
    EXPECT_EQ(signedDocument.files[1].sha256, "") << "an empty checksum accepts any file: nothing to compare with";
    EXPECT_EQ(read(text).files[0].sha256, "") << "unsigned, it would promise what it cannot hold";
}

TEST(ServerDocumentTest, FileListHasOneEntryPerLocationInOrder) {
    const ServerDocument document = read(R"({"files": [
        {"URL": "http://h.example/a.mpq", "checksum": "aa", "required": 1, "game_data": 0, "size": 1234,
         "location": ["Data\\a.mpq", "Data\\enUS\\a.mpq", "Data/b/a.mpq"]},
        {"URL": "http://h.example/b.mpq", "checksum": "bb", "required": true, "game_data": true, "location": "b.mpq",
         "size": 5000000000.0},
        {"URL": "http://h.example/c.mpq", "location": ["only-one"], "size": -1},
        {"URL": "http://h.example/d.mpq", "location": [], "size": "12"},
        {"URL": 5, "checksum": null, "required": 1.0, "location": 7, "size": 1.5},
        "not an object"
    ]} )");
    const std::vector<FileEntry>& files = document.files;
    ASSERT_EQ(files.size(), 8u);

    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(files[static_cast<size_t>(i)].URL, "http://h.example/a.mpq");
        EXPECT_EQ(files[static_cast<size_t>(i)].checksum, "aa");
        EXPECT_EQ(files[static_cast<size_t>(i)].required, 1);
        EXPECT_EQ(files[static_cast<size_t>(i)].game_data, 0);
    }
    // asText hands back the escaped form of a stored backslash.
    EXPECT_EQ(files[0].location, "Data\\\\a.mpq");
    EXPECT_EQ(files[2].location, "Data/b/a.mpq");

    // Booleans are no flags: only the numbers 1 and 0 count.
    EXPECT_EQ(files[3].required, 0);
    EXPECT_EQ(files[3].game_data, 0);
    EXPECT_EQ(files[3].location, "b.mpq");

    // One element or none takes the string branch: an empty location.
    EXPECT_EQ(files[4].location, "");
    EXPECT_EQ(files[5].location, "");

    EXPECT_EQ(files[6].URL, "");
    EXPECT_EQ(files[6].checksum, "");
    EXPECT_EQ(files[6].required, 0) << "a floating 1.0 is not the integer 1";
    EXPECT_EQ(files[6].location, "");

    EXPECT_EQ(files[7], FileEntry{}) << "a non-object element reads as an entry of empty texts";

    // "size": a whole number of bytes, beyond 32 bits as a number with a fraction part; nothing else is a size.
    EXPECT_EQ(files[2].size, 1234u);
    EXPECT_EQ(files[3].size, 5'000'000'000u);
    for (std::size_t i : {4u, 5u, 6u, 7u})
        EXPECT_EQ(files[i].size, std::nullopt) << i;
}

TEST(ServerDocumentTest, EmptyAndBrokenDocumentsReadAsNothing) {
    for (const std::string_view text :
         {"{}", "", "<html>", "[1,2]", R"({"files": {"a": 1}, "removes": "x", "realmlist_locations": "a/"})"}) {
        const ServerDocument document = read(text);
        EXPECT_TRUE(document.files.empty()) << text;
        EXPECT_TRUE(document.removals.empty()) << text;
        EXPECT_TRUE(document.realmLines.empty()) << text;
        EXPECT_TRUE(document.realmlistLocations.empty()) << text;
        EXPECT_EQ(document.language, Language::English) << text;
        EXPECT_EQ(document.music.URL, "") << text;
        EXPECT_EQ(document.music.location, "") << text;
        EXPECT_EQ(document.music.checksum, "") << text;
        EXPECT_EQ(document.version, 0) << text;
        EXPECT_EQ(document.links.website, "") << text;
        EXPECT_EQ(document.links.discord, "") << text;
    }
}

TEST(ServerDocumentTest, LanguageIsFinglishOnlyForExactlyFa) {
    const std::pair<std::string_view, Language> cases[] = {
        {R"({"lang": "fa"})", Language::Finglish}, {R"({"lang": "Fa"})", Language::English},
        {R"({"lang": "FA"})", Language::English},  {R"({"lang": "fa "})", Language::English},
        {R"({"lang": "en"})", Language::English},  {R"({"lang": 1})", Language::English},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(read(text).language, expected) << text;
}

TEST(ServerDocumentTest, VersionReadsOnlyIntegralNumbers) {
    const std::pair<std::string_view, int> cases[] = {
        {R"({"version": 4})", 4},    {R"({"version": "4"})", 0}, {R"({"version": 4.0})", 0},
        {R"({"version": true})", 0}, {R"({"version": -2})", -2},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(read(text).version, expected) << text;
}

TEST(ServerDocumentTest, ConnectionsAreAWholeNumberUpToTheMost) {
    const std::pair<std::string_view, unsigned> cases[] = {
        {R"({})", 8},
        {R"({"connections": 1})", 1},
        {R"({"connections": 16})", 16},
        {R"({"connections": 40})", 16},
        {R"({"connections": 0})", 8},
        {R"({"connections": -3})", 8},
        {R"({"connections": "4"})", 8},
        {R"({"connections": 4.0})", 8},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(read(text).connections, expected) << text;
}

TEST(ServerDocumentTest, RealmLinesSayOnlineOnlyForTheInteger1) {
    const ServerDocument document = read(R"({"realms": [["Alpha", 1], ["Beta", 0], ["Gamma", 2], ["Delta", true],
        ["Epsilon", "1"], ["Zeta", 1.0], ["Eta"], [], 5, ["Theta", 1, "extra"]]})");
    const std::vector<std::string> expected = {"Alpha: Online",    "Beta: Offline", "Gamma: Offline", "Delta: Offline",
                                               "Epsilon: Offline", "Zeta: Offline", "Eta: Offline",   ": Offline",
                                               ": Offline",        "Theta: Online"};
    EXPECT_EQ(document.realmLines, expected);
}

// What people read and what the game reads from realmlist.wtf is decoded; paths and addresses keep asText's form.
TEST(ServerDocumentTest, TextsForPeopleAndTheRealmListAreDecoded) {
    const ServerDocument document = read(R"({"announce": "Say \"hi\"\there",
        "realms": [["Caf\u00e9 \ud83d\ude00", 1]], "realmlist": "set realmlist a\r\nset patchlist b",
        "execute": "bin\\game.exe"})");
    EXPECT_EQ(document.announcement, "Say \"hi\"\there");
    EXPECT_EQ(document.realmLines, std::vector<std::string>{"Caf\xc3\xa9 \xf0\x9f\x98\x80: Online"});
    EXPECT_EQ(document.realmlist, "set realmlist a\r\nset patchlist b");
    EXPECT_EQ(document.execute, "bin\\\\game.exe");
}

TEST(ServerDocumentTest, StringListsKeepOrderAndNonStringsReadEmpty) {
    const ServerDocument document = read(R"({"removes": ["Data/patch-x.mpq", "C:/full/path.txt", 3, "Wow.exe"],
        "realmlist_locations": ["WTF/", 4, "Data/enUS/"]})");
    const std::vector<std::string> expected = {"Data/patch-x.mpq", "C:/full/path.txt", "", "Wow.exe"};
    EXPECT_EQ(document.removals, expected);
    const std::vector<std::string> locations = {"WTF/", "", "Data/enUS/"};
    EXPECT_EQ(document.realmlistLocations, locations);
}

TEST(ServerDocumentTest, LinksAndDiscordFromTheirOwnPlaces) {
    const ServerDocument document = read(R"({"links": {"website": "w", "register": "r", "recruit": "rc",
        "unstuck": "u", "vote": "v", "guide": "g", "donate": 5, "discord": "wrong: under links"},
        "discord": "d"})");
    EXPECT_EQ(document.links.website, "w");
    EXPECT_EQ(document.links.registration, "r");
    EXPECT_EQ(document.links.recruit, "rc");
    EXPECT_EQ(document.links.unstuck, "u");
    EXPECT_EQ(document.links.vote, "v");
    EXPECT_EQ(document.links.guide, "g");
    EXPECT_EQ(document.links.donate, "");
    EXPECT_EQ(document.links.discord, "d") << "discord is read from the top level";
}

TEST(ServerDocumentTest, LauncherUpdateTakesThisSystemsEntry) {
    const std::string other = std::string(platform::SystemName()) == "linux" ? "windows" : "linux";
    const ServerDocument document =
        read(R"({"launcher_update": {"version": 4, ")" + other + R"(": {"URL": "http://h.example/other"}, ")" +
             platform::SystemName() + R"(": {"URL": "http://h.example/new", "size": 1234, "sha256": "ABCdef"}}})");
    EXPECT_EQ(document.launcherUpdate.version, 4);
    EXPECT_EQ(document.launcherUpdate.program, (ProgramRelease{"http://h.example/new", 1234, "abcdef"}))
        << "this system's entry, the digest in lower case";
    EXPECT_EQ(read(R"({"launcher_update": "4"})").launcherUpdate.version, 0);
    EXPECT_EQ(read("{}").launcherUpdate.program, ProgramRelease{});
}

TEST(ServerDocumentTest, HostOfAddresses) {
    EXPECT_EQ(hostOf("https://www.varnhold.example/launcher.zip"), "www.varnhold.example");
    EXPECT_EQ(hostOf("http://user@site.example:8080/x?y"), "site.example");
    EXPECT_EQ(hostOf("site.example/path"), "site.example");
    EXPECT_EQ(hostOf(""), "");
}

} // namespace
