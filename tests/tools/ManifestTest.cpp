// Tests of varnhold-manifest: globs, addresses, the folder scan, hashing, the JSON writer, the document merge
// read back as the launcher reads it, and the binary's exit codes.
#include "net/DocumentTrust.hpp"
#include "net/JsonValue.hpp"
#include "support/SignedFixtures.hpp"
#include "support/TempFolder.hpp"
#include "sync/FileMd5.hpp"
#include "tools/manifest/AtomicFile.hpp"
#include "tools/manifest/CommandLine.hpp"
#include "tools/manifest/DocumentSigning.hpp"
#include "tools/manifest/FolderScan.hpp"
#include "tools/manifest/GlobPattern.hpp"
#include "tools/manifest/HashPool.hpp"
#include "tools/manifest/ManifestDocument.hpp"
#include "tools/manifest/ManifestEntry.hpp"
#include "tools/manifest/UrlPath.hpp"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

namespace {

using testing_support::readFile;
using testing_support::TempFolder;

const std::string manifestBinary = VARNHOLD_BINARY_DIR "/tools/manifest/varnhold-manifest";

std::string referenceDigest(const std::string& bytes, const EVP_MD* kind = EVP_md5()) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EXPECT_EQ(EVP_Digest(bytes.data(), bytes.size(), digest, &length, kind, nullptr), 1);
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", digest[i]);
        hex += pair;
    }
    return hex;
}

// Structural equality through the read-only views, so the comparison itself adds no members.
bool sameJson(const JsonValue& a, const JsonValue& b) {
    if (a.type() != b.type()) {
        return false;
    }
    switch (a.type()) {
    case JsonType::Null:
        return true;
    case JsonType::Object: {
        const auto& x = *a.objectValue();
        const auto& y = *b.objectValue();
        if (x.size() != y.size()) {
            return false;
        }
        for (auto i = x.begin(), j = y.begin(); i != x.end(); ++i, ++j) {
            if (i->first != j->first || !sameJson(i->second, j->second)) {
                return false;
            }
        }
        return true;
    }
    case JsonType::Array: {
        const auto& x = *a.arrayValue();
        const auto& y = *b.arrayValue();
        if (x.size() != y.size()) {
            return false;
        }
        for (std::size_t i = 0; i < x.size(); ++i) {
            if (!sameJson(x[i], y[i])) {
                return false;
            }
        }
        return true;
    }
    case JsonType::String:
        return *a.stringValue() == *b.stringValue();
    case JsonType::Floating:
        return a.floatingValue() == b.floatingValue();
    case JsonType::Integral:
        return a.asInt() == b.asInt();
    case JsonType::Boolean:
        return a.booleanValue() == b.booleanValue();
    }
    return false;
}

// Parses and insists that the launcher's parser found no fault.
JsonValue parseClean(const std::string& text) {
    std::ostringstream diagnostics;
    JsonValue value = JsonValue::parse(text, diagnostics);
    EXPECT_EQ(diagnostics.str(), "") << text;
    return value;
}

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

RunResult runManifest(const std::string& arguments, const TempFolder& scratch) {
    const auto out = scratch.path() / "stdout.txt";
    const auto err = scratch.path() / "stderr.txt";
    const std::string command =
        "'" + manifestBinary + "' " + arguments + " >'" + out.string() + "' 2>'" + err.string() + "'";
    const int status = std::system(command.c_str());
    RunResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = readFile(out);
    result.err = readFile(err);
    return result;
}

} // namespace

TEST(ManifestGlob, MatchesSegmentsClassesAndDoubleStars) {
    struct Case {
        const char* pattern;
        const char* path;
        bool expected;
    };
    const Case cases[] = {
        {"Wow.exe", "Wow.exe", true},
        {"Wow.exe", "wow.exe", false},
        {"*.exe", "Wow.exe", true},
        {"*.exe", "bin/Wow.exe", false}, // '*' stays within one folder
        {"Data/*", "Data/patch.MPQ", true},
        {"Data/*", "Data/enUS/patch.MPQ", false},
        {"Data/**", "Data/enUS/patch.MPQ", true},
        {"Data/**", "Data/patch.MPQ", true},
        {"Data/**", "Database/x", false},
        {"**/*.dll", "a.dll", true}, // "**/" may stand for no folder
        {"**/*.dll", "x/y/z/a.dll", true},
        {"Data/**/*.MPQ", "Data/a.MPQ", true},
        {"Data/**/*.MPQ", "Data/enUS/locale/a.MPQ", true},
        {"Data/**/*.MPQ", "Data/enUS/a.MPQ.bak", false},
        {"**", "any/depth/file", true},
        {"a**b", "a/x/b", true},
        {"patch-?.MPQ", "patch-A.MPQ", true},
        {"patch-?.MPQ", "patch-AB.MPQ", false},
        {"a?b", "a/b", false}, // '?' never matches a separator
        {"patch-[A-C].MPQ", "patch-B.MPQ", true},
        {"patch-[A-C].MPQ", "patch-D.MPQ", false},
        {"patch-[!A-C].MPQ", "patch-D.MPQ", true},
        {"patch-[^A-C].MPQ", "patch-A.MPQ", false},
        {"[]x].txt", "].txt", true},
        {"a[/]b", "a/b", false},
        {"[*].txt", "*.txt", true},
        {"[*].txt", "a.txt", false},
        {"file[1", "file[1", true}, // an unclosed '[' is a literal
        {"./Data/*", "Data/a", true},
        // Windows-looking patterns: '\' separates folders like '/'.
        {"Data\\*.MPQ", "Data/patch-enUS.MPQ", true},
        {"Data\\enUS\\realmlist.wtf", "Data/enUS/realmlist.wtf", true},
        {"a\\b", "a\\b", false}, // in a path, '\' is part of a name
        {"Interface\\AddOns\\**", "Interface/AddOns/Bag/Bag.toc", true},
        {"My Game (x86)/*.exe", "My Game (x86)/Wow.exe", true},
        {"", "", true},
        {"", "a", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GlobPattern(c.pattern).matches(c.path), c.expected) << c.pattern << " vs " << c.path;
    }

    // Letter case only when asked, and classes fold too.
    EXPECT_TRUE(GlobPattern("data/*.mpq", true).matches("Data/Patch.MPQ"));
    EXPECT_TRUE(GlobPattern("[a-c]*.EXE", true).matches("Blizzard.exe"));
    EXPECT_FALSE(GlobPattern("data/*.mpq", false).matches("Data/Patch.MPQ"));
    // A range's ends stay as written; either case of the character may fall in it.
    EXPECT_TRUE(GlobPattern("[X-a]", true).matches("_"));
    EXPECT_TRUE(GlobPattern("[X-a]", true).matches("Y"));
    EXPECT_FALSE(GlobPattern("[!a-c]", true).matches("B"));

    // Many stars over a long path must not backtrack for ever.
    const std::string longPath = std::string(3000, 'a') + "/b";
    EXPECT_FALSE(GlobPattern("**a**a**a**a**a**a**a**c").matches(longPath));
    EXPECT_TRUE(anyMatches({GlobPattern("x"), GlobPattern("**/b")}, longPath));
    EXPECT_FALSE(anyMatches({}, longPath));
}

TEST(ManifestUrl, PercentEncodesSegmentsAndChecksTheBase) {
    EXPECT_EQ(percentEncodePath("Data/patch A.MPQ"), "Data/patch%20A.MPQ");
    EXPECT_EQ(percentEncodePath("Data/enUS/\xc3\xa9t\xc3\xa9.txt"), "Data/enUS/%C3%A9t%C3%A9.txt");
    EXPECT_EQ(percentEncodePath("a-b_c.d~e/F0"), "a-b_c.d~e/F0");
    EXPECT_EQ(percentEncodePath("100%#?&+=;,'\"!@[]:"), "100%25%23%3F%26%2B%3D%3B%2C%27%22%21%40%5B%5D%3A");
    EXPECT_EQ(percentEncodePath(std::string("x\x01\x7f\xff", 4)), "x%01%7F%FF");

    EXPECT_EQ(checkBaseUrl("http://files.example.org/wow").url, "http://files.example.org/wow/");
    EXPECT_EQ(checkBaseUrl("https://127.0.0.1:8080/").url, "https://127.0.0.1:8080/");
    EXPECT_EQ(checkBaseUrl("HTTPS://Example.org").url, "HTTPS://Example.org/");
    for (const char* bad : {"ftp://example.org/", "example.org/files", "http://", "https:///files", "file:///srv",
                            "http://example.org/a b", "http://example.org/?v=1", "http://example.org/#x", ""}) {
        const BaseUrlCheck check = checkBaseUrl(bad);
        EXPECT_FALSE(check.url) << bad;
        EXPECT_FALSE(check.reason.empty()) << bad;
    }
}

TEST(ManifestScan, ListsNestedFilesSortedAndSkipsHiddenExcludedAndSpecial) {
    TempFolder folder;
    folder.write("Wow.exe", "exe");
    folder.write("Data/patch.MPQ", "12345");
    folder.write("Data/enUS/locale.MPQ", "");
    folder.write("Data/Cache/old.wdb", "cache");
    folder.write("Logs/a.log", "log");
    folder.write("Interface/AddOns/Bag/Bag.toc", "toc");
    folder.write("Interface/AddOns/Bag/debug.log", "log");
    folder.write(".htaccess", "deny");
    folder.write(".git/config", "x");
    folder.write("Data/.hidden/x", "x");
    folder.write("manifest.json", "{}");
    ASSERT_EQ(::mkfifo((folder.path() / "Data/pipe").c_str(), 0600), 0);
    std::filesystem::create_symlink(folder.path() / "Data", folder.path() / "DataLink");
    std::filesystem::create_symlink(folder.path() / "Wow.exe", folder.path() / "WowLink.exe");

    ScanOptions options;
    options.excludes = {GlobPattern("Logs"), GlobPattern("**/*.log"), GlobPattern("Data\\Cache")};
    options.skipPaths = {folder.path() / "manifest.json"};
    const ScanResult result = scanFolder(folder.path(), options);
    ASSERT_TRUE(result.ok) << result.error;

    std::vector<std::string> paths;
    for (const auto& file : result.files) {
        paths.push_back(file.relativePath);
    }
    const std::vector<std::string> expected = {"Data/enUS/locale.MPQ", "Data/patch.MPQ", "Interface/AddOns/Bag/Bag.toc",
                                               "Wow.exe", "WowLink.exe"};
    EXPECT_EQ(paths, expected);
    EXPECT_EQ(result.files[1].size, 5U);
    EXPECT_EQ(result.files[0].size, 0U);
    EXPECT_TRUE(result.warnings.empty());

    // A trailing separator or a "." segment in the folder changes no relative path.
    const ScanResult spelledOtherwise = scanFolder(folder.path() / "." / "", options);
    ASSERT_TRUE(spelledOtherwise.ok) << spelledOtherwise.error;
    ASSERT_EQ(spelledOtherwise.files.size(), paths.size());
    EXPECT_EQ(spelledOtherwise.files.front().relativePath, paths.front());

    options.includeHidden = true;
    const ScanResult withHidden = scanFolder(folder.path(), options);
    ASSERT_TRUE(withHidden.ok) << withHidden.error;
    EXPECT_EQ(withHidden.files.front().relativePath, ".git/config");
    EXPECT_EQ(withHidden.files.size(), paths.size() + 3); // .git/config, .htaccess, Data/.hidden/x
}

TEST(ManifestScan, ReportsWhatWindowsCannotHoldAndWhatCannotBeRead) {
    TempFolder folder;
    folder.write("Data/Patch.MPQ", "a");
    folder.write("data/patch.mpq", "b");
    ScanResult result = scanFolder(folder.path(), {});
    ASSERT_TRUE(result.ok) << result.error;
    ASSERT_EQ(result.warnings.size(), 1U);
    EXPECT_NE(result.warnings[0].find("letter case"), std::string::npos) << result.warnings[0];

    folder.write("Data/odd\\name.txt", "c");
    result = scanFolder(folder.path(), {});
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find("odd\\name.txt"), std::string::npos) << result.error;

    result = scanFolder(folder.path() / "missing", {});
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find("missing"), std::string::npos) << result.error;

    if (::geteuid() != 0) { // root reads every folder
        TempFolder locked;
        locked.write("open/a", "a");
        locked.write("closed/b", "b");
        ASSERT_EQ(::chmod((locked.path() / "closed").c_str(), 0), 0);
        result = scanFolder(locked.path(), {});
        ::chmod((locked.path() / "closed").c_str(), 0700);
        EXPECT_FALSE(result.ok);
        EXPECT_NE(result.error.find("closed"), std::string::npos) << result.error;
    }
}

TEST(ManifestHashing, GivesKnownDigestsOnEveryThreadCountAndStopsOnAFailure) {
    TempFolder folder;
    // Spans several read blocks and ends mid-block.
    std::string big(3 * hashBlockSize + 17, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<char>((i * 131) ^ (i >> 11));
    }
    folder.write("empty", "");
    folder.write("abc", "abc");
    folder.write("fox", "The quick brown fox jumps over the lazy dog");
    folder.write("big", big);

    // Many files of mixed sizes: the results come back in input order whatever the thread count.
    for (int i = 0; i < 40; ++i) {
        folder.write("many/" + std::to_string(i), std::string(static_cast<std::size_t>(i * 977), char('a' + i % 26)));
    }
    const ScanResult scanned = scanFolder(folder.path(), {});
    ASSERT_TRUE(scanned.ok) << scanned.error;
    for (const unsigned threads : {1U, 2U, 7U}) {
        HashPoolOptions options;
        options.threads = threads;
        std::uint64_t lastBytes = 0;
        std::size_t lastFiles = 0;
        options.onTick = [&](const HashProgress& progress) {
            lastBytes = progress.bytesDone.load();
            lastFiles = progress.filesDone.load();
        };
        const HashPoolResult result = hashFiles(scanned.files, options);
        ASSERT_TRUE(result.ok) << result.error;
        ASSERT_EQ(result.checksums.size(), scanned.files.size());
        std::uint64_t total = 0;
        for (std::size_t i = 0; i < scanned.files.size(); ++i) {
            EXPECT_EQ(result.checksums[i], referenceDigest(readFile(scanned.files[i].path)))
                << scanned.files[i].relativePath << " with " << threads << " threads";
            total += scanned.files[i].size;
        }
        EXPECT_EQ(lastBytes, total);
        EXPECT_EQ(lastFiles, scanned.files.size());
    }

    std::vector<ScannedFile> withMissing = scanned.files;
    withMissing.push_back({"gone", folder.path() / "gone", 1U << 30}); // largest: taken first
    const HashPoolResult failed = hashFiles(withMissing, {});
    EXPECT_FALSE(failed.ok);
    EXPECT_NE(failed.error.find("gone"), std::string::npos) << failed.error;
    EXPECT_TRUE(hashFiles({}, {}).ok);
}

TEST(ManifestDocument, MergeKeepsEveryOtherKeyAndReplacesOnlyFiles) {
    const std::string original = R"({
        "version": 3, "lang": "fa", "ratio": 2.5, "big": 1e+2, "neg": -7, "on": true, "off": false, "nothing": null,
        "announce": "Line one\nLine two \u0041 \"quoted\" C:\\path\ttab",
        "realms": [["Varnhold", 1], ["Test \u00e9", 0]],
        "links": {"website": "https://example.org/", "nested": {"deeper": [1, 2.0, "x", {}, []]}},
        "realmlist_locations": ["Data\\enUS\\", "Data\\enGB\\"],
        "odd \"key\"\twith\\escapes \u0042": "value",
        "files": [{"URL": "http://old/x", "checksum": "0", "location": "x", "required": 1, "game_data": 0}],
        "zzz": "after files"
    })";
    const DocumentLoad load = parseManifestDocument(original, "test document");
    ASSERT_TRUE(load.document) << load.error;

    const std::vector<ManifestEntry> entries = {
        {"http://h/Data/patch%20A.MPQ", "900150983cd24fb0d6963f7d28e17f72", "Data\\patch A.MPQ", 1, 1, 5'000'000'000},
        {"http://h/Wow.exe", "d41d8cd98f00b204e9800998ecf8427e", "Wow.exe", 0, 0, 3},
    };
    const std::string merged = writeManifestDocument(*load.document, entries);
    JsonValue reread = parseClean(merged);
    ASSERT_EQ(reread.type(), JsonType::Object) << merged;

    // Every key but "files" compares equal, values and nesting included.
    const JsonValue::ObjectMap& before = *load.document->objectValue();
    const JsonValue::ObjectMap& after = *reread.objectValue();
    EXPECT_EQ(before.size(), after.size()) << merged;
    for (const auto& [name, value] : before) {
        if (name != "files") {
            const auto found = after.find(name);
            ASSERT_NE(found, after.end()) << name;
            EXPECT_TRUE(sameJson(value, found->second)) << name << " in\n" << merged;
        }
    }
    EXPECT_EQ(reread["announce"].asText(), "Line one\\nLine two \\\\u0041 \\\"quoted\\\" C:\\\\path\\ttab");
    EXPECT_EQ(reread["odd \\\"key\\\"\\twith\\\\escapes \\\\u0042"].asText(), "value");

    // "files" as the launcher reads it: element count, then operator[], asText and asInt per object.
    ASSERT_EQ(reread["files"].arrayLength(), 2) << merged;
    for (std::uint32_t i = 0; i < entries.size(); ++i) {
        JsonValue& file = reread["files"][i];
        EXPECT_EQ(file["URL"].asText(), escapeText(entries[i].url));
        EXPECT_EQ(file["checksum"].asText(), entries[i].checksum);
        EXPECT_EQ(file["location"].asText(), escapeText(entries[i].location));
        EXPECT_EQ(file["required"].asInt(), entries[i].required);
        EXPECT_EQ(file["game_data"].asInt(), entries[i].gameData);
        EXPECT_EQ(file.objectValue()->size(), 6U);
    }

    // Sizes beyond the parser's 32-bit integers come as whole numbers with a fraction part.
    EXPECT_EQ(reread["files"][0u]["size"].type(), JsonType::Floating);
    EXPECT_EQ(reread["files"][0u]["size"].floatingValue(), 5'000'000'000.0);
    EXPECT_EQ(reread["files"][1u]["size"].asInt(), 3);

    // Writing the merged document again changes nothing: the output is stable.
    EXPECT_EQ(writeManifestDocument(reread, entries), merged);

    // Without a document, only "files"; an empty list is an empty array the launcher loops over zero times.
    const std::string empty = writeManifestDocument(JsonValue::make(JsonType::Object), {});
    EXPECT_EQ(empty, "{\n  \"files\": []\n}\n");
    EXPECT_EQ(parseClean(empty)["files"].arrayLength(), 0);
}

TEST(ManifestDocument, RefusesDocumentsTheParserHadToRepair) {
    for (const char* damaged :
         {"", "[1, 2]", "\"text\"", "{\"a\": 1,}", "{\"a\": [1 2]}", "{\"a\" 1}", "{\"a\": tru}"}) {
        const DocumentLoad load = parseManifestDocument(damaged, "'doc.json'");
        EXPECT_FALSE(load.document) << damaged;
        EXPECT_NE(load.error.find("'doc.json'"), std::string::npos) << load.error;
    }
    TempFolder folder;
    EXPECT_TRUE(loadManifestDocument(folder.path() / "new.json", true).document);
    const DocumentLoad missing = loadManifestDocument(folder.path() / "new.json", false);
    EXPECT_FALSE(missing.document);
    EXPECT_NE(missing.error.find("new.json"), std::string::npos) << missing.error;
    folder.write("doc.json", "{\"lang\": \"fa\"}  ");
    const DocumentLoad ok = loadManifestDocument(folder.path() / "doc.json", false);
    ASSERT_TRUE(ok.document) << ok.error;
    EXPECT_EQ(JsonValue(*ok.document)["lang"].asText(), "fa");
}

TEST(ManifestEntry, BuildsAddressLocationAndFlagsFromTheRules) {
    ManifestRules rules;
    rules.baseUrl = "https://files.example.org/wow/";
    rules.required = {GlobPattern("Wow.exe"), GlobPattern("Data\\*.MPQ")};
    rules.gameData = {GlobPattern("Data/**")};

    const ManifestEntry patch = makeManifestEntry({"Data/patch A.MPQ", {}, 3}, "abc", rules);
    EXPECT_EQ(patch.url, "https://files.example.org/wow/Data/patch%20A.MPQ");
    EXPECT_EQ(patch.location, "Data\\patch A.MPQ");
    EXPECT_EQ(patch.checksum, "abc");
    EXPECT_EQ(patch.required, 1);
    EXPECT_EQ(patch.gameData, 1);

    const ManifestEntry locale = makeManifestEntry({"Data/enUS/\xc3\xa9.MPQ", {}, 3}, "", rules);
    EXPECT_EQ(locale.url, "https://files.example.org/wow/Data/enUS/%C3%A9.MPQ");
    EXPECT_EQ(locale.required, 0); // '*' does not reach into enUS
    EXPECT_EQ(locale.gameData, 1);

    const ManifestEntry exe = makeManifestEntry({"Wow.exe", {}, 3}, "", rules);
    EXPECT_EQ(exe.required, 1);
    EXPECT_EQ(exe.gameData, 0);

    rules.separator = '/';
    EXPECT_EQ(makeManifestEntry({"Data/enUS/a", {}, 0}, "", rules).location, "Data/enUS/a");
}

TEST(ManifestCommandLine, ParsesOptionFormsAndRefusesContradictions) {
    const CommandLineResult parsed =
        parseCommandLine({"--required", "Wow.exe", "--required=Data/*", "--game-data", "Data/**", "--exclude=*.log",
                          "-j3", "-o", "out.json", "--forward-slashes", "--", "-folder", "http://h/"});
    ASSERT_TRUE(parsed.options) << parsed.error;
    EXPECT_EQ(parsed.options->required, (std::vector<std::string>{"Wow.exe", "Data/*"}));
    EXPECT_EQ(parsed.options->gameData, std::vector<std::string>{"Data/**"});
    EXPECT_EQ(parsed.options->excludes, std::vector<std::string>{"*.log"});
    EXPECT_EQ(parsed.options->threads, 3U);
    EXPECT_EQ(parsed.options->output, "out.json");
    EXPECT_TRUE(parsed.options->forwardSlashes);
    EXPECT_EQ(parsed.options->folder, "-folder");
    EXPECT_EQ(parsed.options->baseUrl, "http://h/");

    EXPECT_TRUE(parseCommandLine({"--help"}).options);
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"f"},
             {"f", "u", "extra"},
             {"--bogus", "f", "u"},
             {"f", "u", "--required"},
             {"f", "u", "--quiet=yes"},
             {"f", "u", "--threads", "0"},
             {"f", "u", "-j", "two"},
             {"f", "u", "--merge", "a", "--document", "b"},
             {"f", "u", "--document", "a", "-o", "b"},
             {"f", "u", "--exclude="},
         }) {
        const CommandLineResult result = parseCommandLine(bad);
        EXPECT_FALSE(result.options) << bad.back();
        EXPECT_FALSE(result.error.empty());
    }
}

TEST(ManifestAtomicFile, ReplacesWholeAndKeepsThePermissions) {
    TempFolder folder;
    const auto target = folder.path() / "data.json";
    folder.write("data.json", "old");
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    const WriteResult written = writeFileAtomically(target, "new contents");
    ASSERT_TRUE(written.ok) << written.error;
    EXPECT_EQ(readFile(target), "new contents");
    struct stat info {};
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640U);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1); // no temporary left

    const WriteResult failed = writeFileAtomically(folder.path() / "no/such/folder/x.json", "x");
    EXPECT_FALSE(failed.ok);
    EXPECT_NE(failed.error.find("no/such/folder"), std::string::npos) << failed.error;
}

TEST(ManifestBinary, WritesTheDocumentAndUsesItsExitCodes) {
    TempFolder scratch;
    const RunResult help = runManifest("--help", scratch);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("Usage: varnhold-manifest"), std::string::npos);
    for (const char* option : {"--required", "--game-data", "--exclude", "--merge", "--document", "--output",
                               "--forward-slashes", "--include-hidden", "--threads", "Example:"}) {
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    }

    const RunResult bad = runManifest("--no-such-option x http://h/", scratch);
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_NE(bad.err.find("--no-such-option"), std::string::npos) << bad.err;
    EXPECT_EQ(runManifest("'" + scratch.path().string() + "' ftp://h/", scratch).exitCode, 2);
    const RunResult missing = runManifest("'" + scratch.path().string() + "/missing' http://h/", scratch);
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("missing"), std::string::npos) << missing.err;

    // A document written in place inside the folder it describes does not list itself, keeps its keys, and
    // standard output stays empty.
    TempFolder site;
    site.write("files/Wow.exe", "abc");
    site.write("files/Data/patch 2.MPQ", "");
    site.write("files/data.json", "{\"lang\": \"fa\", \"files\": [], \"version\": 3}");
    const std::string document = (site.path() / "files/data.json").string();
    const RunResult inPlace = runManifest("-q --required 'Data/*' --document '" + document + "' '" +
                                              (site.path() / "files").string() + "' https://h.example/wow",
                                          scratch);
    ASSERT_EQ(inPlace.exitCode, 0) << inPlace.err;
    EXPECT_EQ(inPlace.out, "");
    JsonValue written = parseClean(readFile(document));
    EXPECT_EQ(written["lang"].asText(), "fa");
    EXPECT_EQ(written["version"].asInt(), 3);
    ASSERT_EQ(written["files"].arrayLength(), 2);
    EXPECT_EQ(written["files"][0U]["URL"].asText(), "https://h.example/wow/Data/patch%202.MPQ");
    EXPECT_EQ(written["files"][0U]["location"].asText(), "Data\\\\patch 2.MPQ"); // asText doubles the '\'
    EXPECT_EQ(written["files"][0U]["required"].asInt(), 1);
    EXPECT_EQ(written["files"][1U]["checksum"].asText(), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(written["files"][1U]["required"].asInt(), 0);

    // To standard output, the document alone: it parses without a fault.
    const RunResult toStdout = runManifest("'" + (site.path() / "files").string() + "' http://h/", scratch);
    ASSERT_EQ(toStdout.exitCode, 0) << toStdout.err;
    EXPECT_EQ(parseClean(toStdout.out)["files"].arrayLength(), 3); // data.json is an ordinary file here

    // An empty folder (hidden files only) still gives a "files" array, an empty one.
    TempFolder empty;
    empty.write(".htaccess", "x");
    const RunResult none = runManifest("'" + empty.path().string() + "' http://h/", scratch);
    ASSERT_EQ(none.exitCode, 0) << none.err;
    EXPECT_EQ(none.out, "{\n  \"files\": []\n}\n");

    // A damaged document is left alone.
    site.write("broken.json", "{\"lang\": \"fa\",}");
    const std::string broken = (site.path() / "broken.json").string();
    const RunResult refused =
        runManifest("--document '" + broken + "' '" + (site.path() / "files").string() + "' http://h/", scratch);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("not valid JSON"), std::string::npos) << refused.err;
    EXPECT_EQ(readFile(broken), "{\"lang\": \"fa\",}");
}

TEST(ManifestBinary, WritesSha256AndSignsWithMinisign) {
    if (testing_support::signingFolder().empty())
        GTEST_SKIP() << "the build had no minisign";
    TempFolder scratch;
    TempFolder site;
    site.write("files/Wow.exe", "abc");
    const std::string files = "'" + (site.path() / "files").string() + "' http://h/";
    const std::string output = (site.path() / "get_data.json").string();
    const std::string key = (testing_support::signingFolder() / "current.sec").string();

    const RunResult toStdout = runManifest("--sign '" + key + "' " + files, scratch);
    EXPECT_EQ(toStdout.exitCode, 2) << "a signature needs a document file to lie beside";
    const RunResult withoutMinisign = [&] {
        const std::string command = "PATH=/nowhere '" + manifestBinary + "' -q --sign '" + key + "' -o '" + output +
                                    "' " + files + " 2>'" + (scratch.path() / "err").string() + "'";
        const int status = std::system(command.c_str());
        return RunResult{WIFEXITED(status) ? WEXITSTATUS(status) : -1, "", readFile(scratch.path() / "err")};
    }();
    EXPECT_EQ(withoutMinisign.exitCode, 1);
    EXPECT_NE(withoutMinisign.err.find("minisign -S -s '" + key + "' -m '" + output + "' -t 'serial="),
              std::string::npos)
        << withoutMinisign.err;
    EXPECT_FALSE(std::filesystem::exists(output)) << "nothing is written that cannot be signed";

    const auto before = std::chrono::system_clock::now();
    const RunResult signedRun = runManifest(
        "-q --sha256 --sign '" + key + "' --serial 12 --valid-days 2 -o '" + output + "' " + files, scratch);
    ASSERT_EQ(signedRun.exitCode, 0) << signedRun.err;
    const std::string document = readFile(output);
    EXPECT_EQ(parseClean(document)["files"][0U]["sha256"].asText(), referenceDigest("abc", EVP_sha256()));

    SigningPolicy policy;
    policy.keys = {testing_support::signingKey("current")};
    policy.required = true;
    const DocumentTrust trust = verifyServerDocument(document, readFile(output + ".minisig"), policy, before);
    ASSERT_TRUE(trust.verified()) << trust.toString();
    EXPECT_EQ(trust.serial, 12u);
    const auto twoDays =
        std::chrono::duration_cast<std::chrono::seconds>(before.time_since_epoch() + std::chrono::hours(48)).count();
    EXPECT_NEAR(static_cast<double>(trust.expires), static_cast<double>(twoDays), 60.0);
}
