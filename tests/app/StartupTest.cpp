// Start-up against a real local launcher server: the early stops, the realm list target, the plan for the window.
#include "app/MainSequence.hpp"

#include "app/Messages.hpp"
#include "support/LocalServer.hpp"
#include "support/SignedFixtures.hpp"
#include "support/TempFolder.hpp"
#include "sync/Launcher.hpp"

#include <gtest/gtest.h>

#include "platform/RunningProgram.hpp"

#include <atomic>
#include <filesystem>
#include <set>

using namespace testing_support;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

struct Call {
    std::string kind; // "error", "question", "open" (a file), "address"
    std::string caption;
    std::string text;
};

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(m_folder.path().empty()); }

    void serveDocument(std::string document) {
        m_document = std::move(document);
        m_server.server().Post("/get_data.php", [this](const httplib::Request&, httplib::Response& response) {
            response.set_content(m_document, "application/json");
        });
        // The signature beside the document, when the test gave one.
        m_server.server().Get("/get_data.php.minisig", [this](const httplib::Request&, httplib::Response& response) {
            if (m_signature.empty())
                response.status = 404;
            else
                response.set_content(m_signature, "text/plain");
        });
        ASSERT_TRUE(m_server.start());
    }

    Services services() {
        Services s;
        s.showError = [this](std::string_view text) { m_calls.push_back({"error", "Launcher", std::string(text)}); };
        s.askYesNo = [this](std::string_view caption, std::string_view text) {
            m_calls.push_back({"question", std::string(caption), std::string(text)});
            return m_answerYes;
        };
        s.openTarget = [this](const std::string& target) {
            m_calls.push_back({"open", "", target});
            return true;
        };
        s.updateLauncher = [this](Launcher&, const LauncherUpdate& offer, const DocumentTrust&, int ownVersion) {
            // Called at every start; only a start with an offer is worth recording.
            if (offer.version != 0)
                m_calls.push_back({"update", std::to_string(ownVersion), offer.program.URL});
            return m_updateOutcome;
        };
        s.openAddress = [this](const std::string& address) {
            m_calls.push_back({"address", "", address});
            return true;
        };
        return s;
    }

    StartupResult start(Launcher& launcher) { return runStartup(launcher, services(), m_server.base()); }

    TempFolder m_folder;
    CurrentFolderGuard m_inFolder{m_folder.path()};
    LocalServer m_server;
    std::string m_document;
    std::string m_signature;
    std::vector<Call> m_calls;
    bool m_answerYes = false;
    UpdateOutcome m_updateOutcome = UpdateOutcome::NotTaken;
};

TEST_F(StartupTest, UnreachableServerShowsBothBoxesEnglishFirst) {
    Launcher launcher(m_folder.path().string());
    EXPECT_EQ(launcher.statusText(), "Sabr konin ...") << "the language is Finglish until the server says otherwise";
    EXPECT_FALSE(runStartup(launcher, services(), "http://127.0.0.1:1/").plan.has_value());
    ASSERT_EQ(m_calls.size(), 2u);
    EXPECT_EQ(m_calls[0].kind, "error");
    EXPECT_EQ(m_calls[0].text.rfind("Unable connect to the launcher server, Check your internet connection!\n", 0), 0u);
    EXPECT_EQ(m_calls[1].text.rfind("Adadme Emkane etesal be servere launcher\n", 0), 0u);
    EXPECT_FALSE(launcher.allDone());
}

TEST_F(StartupTest, NewerServerVersionStopsAndOpensTheNewLauncher) {
    serveDocument(R"({"version": 4, "launcher_location": "https://varnhold.example/new.zip"})");
    m_folder.write("Wow.exe", "");
    Launcher launcher(m_folder.path().string());
    EXPECT_FALSE(start(launcher).plan.has_value());
    ASSERT_EQ(m_calls.size(), 2u);
    EXPECT_EQ(m_calls[0].text, "Your launcher version is too old please download a new launcher from our website.");
    EXPECT_EQ(m_calls[1].kind, "address");
    EXPECT_EQ(m_calls[1].text, "https://varnhold.example/new.zip");
}

TEST_F(StartupTest, AnUpdateComesFirstAndAFailedOneLeavesTheVersionCheckAsItWas) {
    m_folder.write("Wow.exe", "");
    serveDocument(R"({"version": 4, "launcher_location": "https://varnhold.example/new.zip",
                      "music": {"URL": "http://127.0.0.1:1/music.ogg", "location": "music.ogg"},
                      "launcher_update": {"version": 4, "linux": {"URL": "http://h.example/l"},
                                          "windows": {"URL": "http://h.example/w"}}})");
    const std::string url =
        std::string(platform::SystemName()) == "linux" ? "http://h.example/l" : "http://h.example/w";
    {
        m_updateOutcome = UpdateOutcome::HandedOver;
        Launcher launcher(m_folder.path().string());
        const StartupResult result = start(launcher);
        EXPECT_TRUE(result.handedOver);
        EXPECT_FALSE(result.plan.has_value());
        ASSERT_EQ(m_calls.size(), 1u) << "no box after a hand-over";
        EXPECT_EQ(m_calls[0].kind, "update");
        EXPECT_EQ(m_calls[0].caption, "3");
        EXPECT_EQ(m_calls[0].text, url);
        EXPECT_TRUE(launcher.waitForMusicWorker(0ms)) << "nothing of this launcher started before the update";
    }
    for (const UpdateOutcome outcome : {UpdateOutcome::Failed, UpdateOutcome::Cancelled, UpdateOutcome::NotTaken}) {
        m_calls.clear();
        m_updateOutcome = outcome;
        Launcher launcher(m_folder.path().string());
        const StartupResult result = start(launcher);
        EXPECT_FALSE(result.handedOver);
        ASSERT_EQ(m_calls.size(), 3u);
        EXPECT_EQ(m_calls[1].text, "Your launcher version is too old please download a new launcher from our website.");
        EXPECT_EQ(m_calls[2].text, "https://varnhold.example/new.zip");
    }
}

TEST_F(StartupTest, ANewLauncherLocationThatIsNoWebAddressIsNeverOpened) {
    // The music download may still come first: here it brings the very file the version check would open.
    m_server.server().Get("/update.sh", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("#!/bin/sh\ntouch started\n", "application/octet-stream");
    });
    serveDocument("{}");
    m_document = R"({"version": 4, "launcher_location": "update.sh",
        "music": {"URL": ")" +
                 m_server.base() + R"(update.sh", "location": "update.sh", "checksum": ""}})";
    m_folder.write("Wow.exe", "");
    Launcher launcher(m_folder.path().string());
    EXPECT_FALSE(start(launcher).plan.has_value());
    EXPECT_TRUE(launcher.waitForMusicWorker(std::chrono::seconds(10)));
    EXPECT_TRUE(fs::exists(m_folder.path() / "update.sh"));
    ASSERT_EQ(m_calls.size(), 1u) << m_calls.back().kind << " " << m_calls.back().text;
    EXPECT_EQ(m_calls[0].kind, "error");
}

TEST_F(StartupTest, VersionsThatPass) {
    for (const char* version : {"3", "2", "-5", "\"4\"", "4.0", "true"}) {
        LocalServer server;
        const std::string document = std::string(R"({"lang": "en", "version": )") + version + "}";
        server.server().Post("/get_data.php", [&document](const httplib::Request&, httplib::Response& response) {
            response.set_content(document, "application/json");
        });
        ASSERT_TRUE(server.start());
        m_folder.write("Wow.exe", "");
        Launcher launcher(m_folder.path().string());
        m_calls.clear();
        EXPECT_TRUE(runStartup(launcher, services(), server.base()).plan.has_value()) << version;
        EXPECT_TRUE(m_calls.empty()) << version << ": " << m_calls.front().text;
    }
}

TEST_F(StartupTest, OutsideTheGameFolderAsksAndNoEndsTheRun) {
    // The listed file is really served: a file worker started by mistake would fetch it at once.
    std::atomic<int> fileRequests{0};
    m_server.server().Get("/a.bin", [&fileRequests](const httplib::Request&, httplib::Response& response) {
        ++fileRequests;
        response.set_content("a", "application/octet-stream");
    });
    serveDocument("{}");
    m_document = R"({"lang": "fa", "files": [{"URL": ")" + m_server.base() + R"(a.bin", "location": "a.bin"}]})";
    Launcher launcher(m_folder.path().string());
    EXPECT_FALSE(start(launcher).plan.has_value());
    ASSERT_EQ(m_calls.size(), 2u);
    EXPECT_EQ(m_calls[0].text, "Lotfan, Launcher ro toye poshe bazi berizid va bad ejra konid.");
    EXPECT_EQ(m_calls[1].kind, "question");
    EXPECT_EQ(m_calls[1].caption, "Download the Game");
    EXPECT_EQ(m_calls[1].text, "Dar sorati ke bazi ro nadarid, va mikhain bazi ro download konin, roye Yes bezanin, "
                               "Hajme Bazi (16.6 GB) hast.");
    EXPECT_FALSE(launcher.fullGameDownload());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(fileRequests.load(), 0) << "the file worker must not have started";
    EXPECT_FALSE(fs::exists(m_folder.path() / "a.bin"));
}

TEST_F(StartupTest, YesTurnsTheFullDownloadOn) {
    serveDocument(R"({"lang": "en"})");
    m_answerYes = true;
    Launcher launcher(m_folder.path().string());
    const auto plan = start(launcher).plan;
    ASSERT_TRUE(plan.has_value());
    ASSERT_EQ(m_calls.size(), 2u);
    EXPECT_EQ(m_calls[1].text, "Do you want download the game (16.6 GB)? ");
    EXPECT_TRUE(launcher.fullGameDownload());
    EXPECT_TRUE(launcher.waitUntilAllDone(std::chrono::seconds(5)));
}

TEST_F(StartupTest, PlanCarriesWhatTheWindowAndPlayNeed) {
    m_folder.write("Wow.exe", "");
    fs::create_directories(m_folder.path() / "Data/enUS");
    fs::create_directories(m_folder.path() / "Data/enGB");
    serveDocument(R"({
        "lang": "fa",
        "realmlist_locations": ["Data\\deDE\\", "Data\\enUS\\", "Data/enGB/"],
        "realmlist": "set realmlist logon.varnhold.example",
        "removes": ["Data/old.mpq", "C:\\elsewhere.txt"],
        "execute": "Wow.exe",
        "announce": "Hello\\nWorld",
        "realms": [["Alpha", 1], ["Beta", 0]],
        "links": {"vote": "https://vote.example/", "guide": "Guide.lnk", "donate": "www.varnhold.example/donate"},
        "discord": "discord://discord.gg/varnhold"
    })");
    Launcher launcher(m_folder.path().string());
    const auto plan = start(launcher).plan;
    ASSERT_TRUE(plan.has_value());
    EXPECT_TRUE(m_calls.empty());
    EXPECT_EQ(launcher.language(), Language::Finglish);
    EXPECT_FALSE(launcher.fullGameDownload());

    // The first existing folder wins; its full path keeps the trailing separator.
    EXPECT_EQ(launcher.realmlistTarget(), (m_folder.path() / "Data/enUS/realmlist.wtf").generic_string());
    EXPECT_EQ(plan->play.launchTarget, (m_folder.path() / "Wow.exe").generic_string());
    EXPECT_EQ(plan->play.removals, (std::vector<std::string>{"Data/old.mpq", "C:\\\\elsewhere.txt"}));
    EXPECT_EQ(plan->announcement, R"(Hello\nWorld)"); // JSON "\\n" is a backslash and an n, not a line break
    EXPECT_EQ(plan->realmLines, (std::vector<std::string>{"Alpha: Online", "Beta: Offline"}));
    EXPECT_EQ(plan->languageCode, "fa");
    EXPECT_EQ(plan->links.vote, "https://vote.example/");
    EXPECT_EQ(plan->links.guide, "") << "no web address: its button opens nothing";
    EXPECT_EQ(plan->links.donate, "http://www.varnhold.example/donate");
    EXPECT_EQ(plan->links.discord, "discord://discord.gg/varnhold");
    EXPECT_TRUE(launcher.waitUntilAllDone(std::chrono::seconds(5)));
    EXPECT_EQ(launcher.statusText(), "Amade Bazi");
}

TEST_F(StartupTest, GameCopiedFromWindowsIsFoundInAnyLetterCase) {
    m_folder.write("WoW.exe", "");
    fs::create_directories(m_folder.path() / "BIN");
    m_folder.write("BIN/Client.EXE", "");
    serveDocument(R"({"execute": "bin\\client.exe"})");
    Launcher launcher(m_folder.path().string());
    const auto plan = start(launcher).plan;
    ASSERT_TRUE(plan.has_value());
    EXPECT_TRUE(m_calls.empty()) << "asked to download the game beside " << m_calls.front().text;
    EXPECT_FALSE(launcher.fullGameDownload());
    // The target names the file that is there, in whatever case the OS needs to open it.
    std::error_code error;
    EXPECT_TRUE(fs::equivalent(plan->play.launchTarget, m_folder.path() / "BIN/Client.EXE", error))
        << plan->play.launchTarget;
}

TEST_F(StartupTest, PathsOfTheDocumentStayInsideTheGameFolder) {
    m_folder.write("Wow.exe", "");
    const TempFolder outside("varnhold-outside");
    // A share is refused by its text, before anything could ask it for a file; an existing folder outside the game
    // folder is passed over; the game folder itself takes the realm list.
    serveDocument(R"({"execute": "\\\\127.0.0.1\\share\\Wow.exe", "realmlist": "x",
        "realmlist_locations": ["\\\\127.0.0.1\\share\\", ")" +
                  outside.path().generic_string() + R"(/", "./"]})");
    Launcher launcher(m_folder.path().string());
    const auto plan = start(launcher).plan;
    ASSERT_TRUE(plan.has_value());
    EXPECT_EQ(plan->play.launchTarget, "") << "Play has nothing to start";
    EXPECT_EQ(launcher.realmlistTarget(), m_folder.path().generic_string() + "/realmlist.wtf");
}

TEST_F(StartupTest, RealmlistEntryWithoutSeparatorIsGluedToTheFolderName) {
    m_folder.write("Wow.exe", "");
    fs::create_directories(m_folder.path() / "WTF");
    serveDocument(R"({"realmlist_locations": ["WTF"], "realmlist": "x"})");
    Launcher launcher(m_folder.path().string());
    ASSERT_TRUE(start(launcher).plan.has_value());
    EXPECT_EQ(launcher.realmlistTarget(), (m_folder.path() / "WTFrealmlist.wtf").generic_string());
}

TEST_F(StartupTest, EmptyDocumentReachesTheWindowWithNothingToDo) {
    m_folder.write("Wow.exe", "");
    serveDocument("{}");
    Launcher launcher(m_folder.path().string());
    const auto plan = start(launcher).plan;
    ASSERT_TRUE(plan.has_value());
    EXPECT_TRUE(m_calls.empty());
    EXPECT_EQ(launcher.language(), Language::English);
    EXPECT_TRUE(launcher.realmlistTarget().empty());
    EXPECT_TRUE(plan->announcement.empty());
    EXPECT_TRUE(plan->realmLines.empty());
    EXPECT_TRUE(launcher.waitUntilAllDone(std::chrono::seconds(5)));
    EXPECT_EQ(launcher.statusText(), "Ready to Play");
    EXPECT_TRUE(launcher.canPlay());
}

// Every path under `folder`, to tell whether a start left the game folder as it found it.
std::set<std::string> listing(const fs::path& folder) {
    std::set<std::string> paths;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder))
        paths.insert(fs::relative(entry.path(), folder).generic_string() + " " +
                     (entry.is_regular_file() ? readFile(entry.path()) : std::string("/")));
    return paths;
}

class SignedStartupTest : public StartupTest {
protected:
    void SetUp() override {
        StartupTest::SetUp();
        if (signingFolder().empty())
            GTEST_SKIP() << "the build had no minisign to sign the fixtures with";
        m_signing.keys = {signingKey("current")};
        m_signing.required = true;
        m_signing.seenSerialFile = (m_cache.path() / "serial.txt").string();
        m_folder.write("Wow.exe", "");
    }

    std::optional<StartupPlan> start(Launcher& launcher) {
        return runStartup(launcher, services(), m_server.base(), m_signing).plan;
    }

    TempFolder m_cache;
    SigningPolicy m_signing;
};

TEST_F(SignedStartupTest, SignedDocumentIsActedOn) {
    serveDocument(readFile(signingFolder() / "document.json"));
    m_signature = readFile(signingFolder() / "document.json.minisig");
    Launcher launcher(m_folder.path().string());
    const auto plan = start(launcher);
    ASSERT_TRUE(plan.has_value());
    EXPECT_TRUE(m_calls.empty()) << m_calls.front().text;
    EXPECT_TRUE(plan->trust.verified()) << plan->trust.toString();
    EXPECT_EQ(plan->trust.serial, 7u);
    EXPECT_EQ(plan->trust.keyId, signingKey("current").idText());
    EXPECT_EQ(plan->announcement, "Signed by the community");
    EXPECT_TRUE(launcher.waitUntilAllDone(std::chrono::seconds(5)));
}

TEST_F(SignedStartupTest, UnverifiedDocumentGivesOneBoxAndTouchesNothing) {
    std::atomic<int> fileRequests{0};
    m_server.server().Get("/files/.*", [&fileRequests](const httplib::Request&, httplib::Response& response) {
        ++fileRequests;
        response.set_content("x", "application/octet-stream");
    });
    serveDocument("");
    const std::string files = m_server.base() + "files/";
    // What an attacker would serve: a program of theirs for Play, a file into the game folder, music too.
    const std::string hostile = R"({"lang": "en", "execute": "evil.exe", "removes": ["Wow.exe"], "music": {"URL": ")" +
                                files + R"(m.mp3", "location": "m.mp3", "checksum": "00"}, "files": [{"URL": ")" +
                                files + R"(evil.exe", "location": "evil.exe", "required": 1}]})";
    const std::string signedDocument = readFile(signingFolder() / "document.json");
    const std::string signature = readFile(signingFolder() / "document.json.minisig");
    struct Case {
        const char* name;
        std::string document;
        std::string signature;
    };
    const Case cases[] = {
        {"unsigned", hostile, ""},
        {"signature of another document", hostile, signature},
        {"stranger's key", signedDocument, readFile(signingFolder() / "document.json.stranger.minisig")},
        {"an html page, unsigned", "<html>maintenance</html>", ""},
    };
    const std::set<std::string> before = listing(m_folder.path());
    for (const Case& c : cases) {
        m_document = c.document;
        m_signature = c.signature;
        m_calls.clear();
        Launcher launcher(m_folder.path().string());
        testing::internal::CaptureStderr();
        const auto plan = start(launcher);
        const std::string parserLines = testing::internal::GetCapturedStderr();
        EXPECT_FALSE(plan.has_value()) << c.name;
        ASSERT_EQ(m_calls.size(), 1u) << c.name;
        EXPECT_EQ(m_calls[0].kind, "error");
        EXPECT_EQ(m_calls[0].text, message::documentNotVerified);
        EXPECT_EQ(m_calls[0].text.rfind("The launcher server's answer could not be verified", 0), 0u);
        EXPECT_EQ(parserLines, "") << c.name << ": the parser saw the document";
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(fileRequests.load(), 0) << "a worker started on an unverified document";
    EXPECT_EQ(listing(m_folder.path()), before);
}

} // namespace
