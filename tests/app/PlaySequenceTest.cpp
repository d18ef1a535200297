// The Play sequence's three cases: not yet, play while downloading, play when all is done.
#include "app/PlaySequence.hpp"

#include "support/LocalServer.hpp"
#include "support/TempFolder.hpp"
#include "support/ToneWav.hpp"
#include "sync/Launcher.hpp"

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

struct Recorder {
    std::vector<std::string> errors;
    std::vector<std::string> opened;
    int closes = 0;

    Services services() {
        Services s;
        s.showError = [this](std::string_view text) { errors.emplace_back(text); };
        s.askYesNo = [](std::string_view, std::string_view) { return false; };
        s.openTarget = [this](const std::string& target) {
            opened.push_back(target);
            return true;
        };
        return s;
    }
};

class PlaySequenceTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder.write("Wow.exe", "game");
        m_folder.write("cache/WDB/enUS/creaturecache.wdb", "old");
        m_folder.write("Data/patch-Z.mpq", "removed at play");
        m_folder.write("keep.txt", "kept");
        fs::create_directories(m_folder.path() / "Data/enUS");
    }

    PlayContext context() {
        PlayContext play;
        play.removals = {"Data/patch-Z.mpq", "missing.file", "Data"};
        play.launchTarget = (m_folder.path() / "Wow.exe").string();
        play.closeWindow = [this] { ++m_recorder.closes; };
        return play;
    }

    void expectFolderPrepared(Launcher& launcher) {
        EXPECT_FALSE(fs::exists(m_folder.path() / "cache"));
        EXPECT_FALSE(fs::exists(m_folder.path() / "Data/patch-Z.mpq"));
        EXPECT_TRUE(fs::is_directory(m_folder.path() / "Data")) << "a folder listed in removes stays";
        EXPECT_EQ(readFile(m_folder.path() / "keep.txt"), "kept");
        EXPECT_EQ(readFile(m_folder.path() / "Data/enUS/realmlist.wtf"), "set realmlist logon.varnhold.example");
        (void)launcher;
    }

    TempFolder m_folder;
    CurrentFolderGuard m_inFolder{m_folder.path()};
    Recorder m_recorder;
};

TEST_F(PlaySequenceTest, BeforeTheRequiredFilesOnlyAsksToWait) {
    for (const Language language : {Language::English, Language::Finglish}) {
        Launcher launcher(m_folder.path().string());
        launcher.setLanguage(language);
        launcher.setRealmlist((m_folder.path() / "Data/enUS/realmlist.wtf").string(), "x");
        Recorder recorder;
        PlayContext play = context();
        play.closeWindow = [&recorder] { ++recorder.closes; };
        runPlaySequence(launcher, play, recorder.services());

        ASSERT_EQ(recorder.errors.size(), 1u);
        EXPECT_EQ(recorder.errors[0], language == Language::English ? "Please wait ..." : "Lotfan sabr konid ...");
        EXPECT_TRUE(recorder.opened.empty());
        EXPECT_EQ(recorder.closes, 0);
        EXPECT_TRUE(fs::exists(m_folder.path() / "cache")) << "nothing is prepared before Play is allowed";
        EXPECT_TRUE(fs::exists(m_folder.path() / "Data/patch-Z.mpq"));
        EXPECT_FALSE(fs::exists(m_folder.path() / "Data/enUS/realmlist.wtf"));
    }
}

TEST_F(PlaySequenceTest, WhenAllIsDoneStartsTheGameAndClosesTheWindow) {
    Launcher launcher(m_folder.path().string());
    launcher.setLanguage(Language::English);
    launcher.setRealmlist((m_folder.path() / "Data/enUS/realmlist.wtf").string(),
                          "set realmlist logon.varnhold.example");
    launcher.startFileSync({});
    ASSERT_TRUE(launcher.waitUntilAllDone(std::chrono::seconds(5)));

    runPlaySequence(launcher, context(), m_recorder.services());
    EXPECT_TRUE(m_recorder.errors.empty()) << m_recorder.errors.front();
    ASSERT_EQ(m_recorder.opened.size(), 1u);
    EXPECT_EQ(m_recorder.opened[0], (m_folder.path() / "Wow.exe").string());
    EXPECT_EQ(m_recorder.closes, 1);
    EXPECT_EQ(launcher.statusText(), "Preparing the game");
    expectFolderPrepared(launcher);

    // A second click does it all again.
    m_folder.write("cache/again.wdb", "x");
    runPlaySequence(launcher, context(), m_recorder.services());
    EXPECT_EQ(m_recorder.opened.size(), 2u);
    EXPECT_FALSE(fs::exists(m_folder.path() / "cache"));
}

TEST_F(PlaySequenceTest, WhileAdditionalFilesDownloadStopsMusicWarnsAndKeepsTheWindow) {
    // The optional file's download is held back until the test is over, so Play comes between the two.
    std::mutex mutex;
    std::condition_variable released;
    bool release = false;
    LocalServer server;
    server.server().Get("/optional.bin", [&](const httplib::Request&, httplib::Response& response) {
        std::unique_lock lock(mutex);
        released.wait_for(lock, std::chrono::seconds(20), [&] { return release; });
        response.set_content("optional", "application/octet-stream");
    });
    const std::string track = toneWav(1.0, 22050, 1, 440.0);
    server.server().Get("/theme.wav", [&track](const httplib::Request&, httplib::Response& response) {
        response.set_content(track, "audio/wav");
    });
    ASSERT_TRUE(server.start());

    Launcher launcher(m_folder.path().string());
    launcher.setLanguage(Language::Finglish);
    launcher.startMusicDownload(server.base() + "theme.wav", "theme.wav", "");
    ASSERT_TRUE(launcher.waitForMusicWorker(std::chrono::seconds(10)));
    ASSERT_TRUE(launcher.musicOn()) << "the music plays before Play";
    launcher.setRealmlist((m_folder.path() / "Data/enUS/realmlist.wtf").string(),
                          "set realmlist logon.varnhold.example");
    FileEntry required;
    required.required = 1;
    required.location = "Wow.exe";
    required.URL = server.base() + "Wow.exe";
    FileEntry optional;
    optional.location = "Data/optional.bin";
    optional.URL = server.base() + "optional.bin";
    launcher.startFileSync({optional, required});

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!launcher.canPlay() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(launcher.canPlay());
    ASSERT_FALSE(launcher.allDone());

    runPlaySequence(launcher, context(), m_recorder.services());
    ASSERT_EQ(m_recorder.errors.size(), 1u);
    EXPECT_EQ(m_recorder.errors[0], "Alan Shoma mitonid toye server bazi konin, Ama launcher sayere file haye bazi ro "
                                    "download mikone, pass momkene chand daghighe lag bashid.");
    EXPECT_FALSE(launcher.musicOn());
    EXPECT_EQ(m_recorder.opened.size(), 1u);
    EXPECT_EQ(m_recorder.closes, 0) << "the launcher stays open while downloads go on";
    expectFolderPrepared(launcher);

    {
        const std::lock_guard lock(mutex);
        release = true;
    }
    released.notify_all();
    EXPECT_TRUE(launcher.waitUntilAllDone(std::chrono::seconds(10)));
    EXPECT_EQ(readFile(m_folder.path() / "Data/optional.bin"), "optional");
}

} // namespace
