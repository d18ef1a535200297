// The Launcher's status line and the workers' lifecycle: texts by language, closing mid-download, dead music.
#include "sync/Launcher.hpp"

#include "tests/support/LocalServer.hpp"
#include "tests/support/TempFolder.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing_support::CurrentFolderGuard;
using testing_support::LocalServer;
using testing_support::TempFolder;

namespace {

// Closing the window must end the process promptly, whatever the workers are doing.
constexpr auto closeLimit = 1s;
constexpr auto waitLimit = 10s;

template <typename Condition> bool eventually(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + waitLimit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

template <typename Action> std::chrono::steady_clock::duration timed(Action action) {
    const auto start = std::chrono::steady_clock::now();
    action();
    return std::chrono::steady_clock::now() - start;
}

class LauncherTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_server.start()); }
    void TearDown() override {
        m_serverStop = true;
        m_server.stop();
    }

    TempFolder m_folder;
    CurrentFolderGuard m_inFolder{m_folder.path()};
    LocalServer m_server;
    std::atomic<bool> m_serverStop{false};
    std::atomic<int> m_requests{0};
};

TEST_F(LauncherTest, StatusTextsFollowTheLanguageAtAssignment) {
    Launcher launcher(m_folder.path().string());
    EXPECT_EQ(launcher.statusText(), "Sabr konin ...") << "the launcher speaks Finglish until the server says";
    EXPECT_FALSE(launcher.canPlay());
    EXPECT_FALSE(launcher.allDone());
    EXPECT_FALSE(launcher.musicOn());

    launcher.setLanguage(Language::English);
    EXPECT_EQ(launcher.statusText(), "Sabr konin ...") << "a shown text is not translated afterwards";
    launcher.setStatus(status::loading);
    EXPECT_EQ(launcher.statusText(), "Loading...");

    launcher.startFileSync({});
    ASSERT_TRUE(launcher.waitUntilAllDone(waitLimit));
    const StatusLine line = launcher.statusLine();
    EXPECT_EQ(line.statusText, "Ready to Play");
    EXPECT_TRUE(line.canPlay);
    EXPECT_TRUE(line.allDone);

    Launcher finglish(m_folder.path().string());
    finglish.startFileSync({});
    ASSERT_TRUE(finglish.waitUntilAllDone(waitLimit));
    EXPECT_EQ(finglish.statusText(), "Amade Bazi");
}

TEST_F(LauncherTest, ClosingDuringALargeSlowDownloadReturnsWithinASecond) {
    constexpr std::size_t chunk = 64 * 1024;
    constexpr std::size_t total = std::size_t{1} << 30;
    m_server.server().Get("/big.bin", [this](const httplib::Request&, httplib::Response& response) {
        ++m_requests;
        response.set_content_provider(total, "application/octet-stream",
                                      [this](std::size_t, std::size_t, httplib::DataSink& sink) {
                                          const std::string bytes(chunk, 'b');
                                          std::this_thread::sleep_for(20ms);
                                          return !m_serverStop && sink.write(bytes.data(), bytes.size());
                                      });
    });
    auto launcher = std::make_unique<Launcher>(m_folder.path().string());
    launcher->startFileSync({{0, 1, "big.bin", "0123456789abcdef0123456789abcdef", m_server.base() + "big.bin"}});
    ASSERT_TRUE(eventually([this] { return m_requests > 0; }));
    std::this_thread::sleep_for(300ms);

    EXPECT_LT(timed([&] { launcher.reset(); }), closeLimit);
    EXPECT_FALSE(fs::exists("big.bin")) << "a cut-off download never takes the file's name";
}

TEST_F(LauncherTest, ClosingDuringARetryPauseReturnsAtOnce) {
    m_server.server().Get("/down.bin", [this](const httplib::Request&, httplib::Response& response) {
        ++m_requests;
        response.status = 503;
    });
    Launcher launcher(m_folder.path().string());
    launcher.setRetryDelays(30s, 60s);
    launcher.startFileSync({{0, 1, "down.bin", "", m_server.base() + "down.bin"}});
    launcher.startMusicDownload(m_server.base() + "down.bin", "music.ogg", "");
    ASSERT_TRUE(eventually([this] { return m_requests >= 2; }));

    EXPECT_LT(timed([&] { launcher.stopWorkers(); }), closeLimit);
    EXPECT_TRUE(launcher.stopRequested());
    EXPECT_FALSE(launcher.allDone());
    EXPECT_FALSE(launcher.canPlay());
    EXPECT_EQ(m_requests, 2) << "no attempt after the stop";
}

TEST_F(LauncherTest, MusicThatCanNeverBeFetchedEndsTheMusicWorker) {
    m_server.server().Get("/music.ogg", [this](const httplib::Request&, httplib::Response& response) {
        ++m_requests;
        response.set_content("not reached", "audio/ogg");
    });
    const fs::path outside = m_folder.path().parent_path() / (m_folder.path().filename().string() + "-music.ogg");
    const std::string url = m_server.base() + "music.ogg";
    struct Case {
        std::string url;
        std::string location;
    };
    for (const Case& music : {Case{"", ""}, Case{"http://localhost/music", "music.ogg"}, Case{url, outside.string()},
                              Case{url, "../" + outside.filename().string()}, Case{url, ""}}) {
        Launcher launcher(m_folder.path().string());
        launcher.setRetryDelays(10ms, 10ms);
        launcher.startMusicDownload(music.url, music.location, "");
        EXPECT_TRUE(launcher.waitForMusicWorker(1s)) << music.url << " -> " << music.location;
        EXPECT_FALSE(launcher.musicOn());
        EXPECT_EQ(launcher.musicPath(), "");
    }
    EXPECT_EQ(m_requests, 0);
    EXPECT_FALSE(fs::exists(outside));
}

TEST_F(LauncherTest, TheMusicTakesTheStatusLineOnlyAtItsStart) {
    // A track that is missing for a while and arrives once the files are all done.
    std::atomic<bool> serveTrack{false};
    m_server.server().Get("/theme.wav", [&](const httplib::Request&, httplib::Response& response) {
        ++m_requests;
        if (serveTrack)
            response.set_content("not really a track", "audio/wav");
        else
            response.status = 404;
    });
    Launcher launcher(m_folder.path().string());
    launcher.setLanguage(Language::English);
    launcher.setRetryDelays(10ms, 10ms);
    launcher.startMusicDownload(m_server.base() + "theme.wav", "theme.wav", "");
    ASSERT_TRUE(eventually([this] { return m_requests >= 1; }));
    launcher.startFileSync({});
    ASSERT_TRUE(launcher.waitUntilAllDone(waitLimit));

    const int before = m_requests;
    ASSERT_TRUE(eventually([&] { return m_requests >= before + 3; }));
    EXPECT_EQ(launcher.statusText(), "Ready to Play") << "while the track keeps failing";
    serveTrack = true;
    ASSERT_TRUE(launcher.waitForMusicWorker(waitLimit));
    EXPECT_EQ(launcher.statusText(), "Ready to Play") << "once the track has arrived";
}

} // namespace
