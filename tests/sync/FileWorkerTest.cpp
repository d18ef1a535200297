// The file worker against a real local server: order, Play's moment, shared downloads, retries, refused places.
#include "sync/Launcher.hpp"

#include <gtest/gtest.h>
#include <httplib.h>
#include <openssl/evp.h>
#include <stdlib.h>

#include <array>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr auto workerTimeout = 10s;

std::string md5Of(const std::string& bytes) {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int size = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest.data(), &size, EVP_md5(), nullptr);
    std::string hex;
    constexpr const char* digits = "0123456789abcdef";
    for (unsigned int i = 0; i < size; ++i) {
        hex += digits[digest[i] >> 4];
        hex += digits[digest[i] & 0xF];
    }
    return hex;
}

std::string readFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << bytes;
}

// Holds a request in its handler until the test opens it, so the test can look at the worker meanwhile.
class Gate {
public:
    void open() {
        const std::lock_guard lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }
    void passWhenOpen() {
        std::unique_lock lock(m_mutex);
        m_entered = true;
        m_changed.notify_all();
        m_changed.wait_for(lock, workerTimeout, [this] { return m_open; });
    }
    bool waitEntered() {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, workerTimeout, [this] { return m_entered; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_open = false;
    bool m_entered = false;
};

using Handler = std::function<void(httplib::Response&)>;

class FileWorkerTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "varnhold-fileworker-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_folder = pattern;
        m_previous = fs::current_path();
        // Locations are relative to the current folder, as when the launcher runs from the game folder.
        fs::current_path(m_folder);

        m_server.Get("/(.*)", [this](const httplib::Request& request, httplib::Response& response) {
            Handler handler;
            {
                const std::lock_guard lock(m_mutex);
                m_requests.push_back(request.matches[1]);
                const auto found = m_handlers.find(request.matches[1]);
                if (found != m_handlers.end())
                    handler = found->second;
            }
            if (handler)
                handler(response);
            else
                response.status = 404;
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        ASSERT_GT(m_port, 0);
        m_listener = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running())
            std::this_thread::sleep_for(1ms);
    }

    void TearDown() override {
        m_launcher.reset();
        m_server.stop();
        if (m_listener.joinable())
            m_listener.join();
        fs::current_path(m_previous);
        std::error_code ignored;
        fs::remove_all(m_folder, ignored);
    }

    std::string url(const std::string& name) const { return "http://127.0.0.1:" + std::to_string(m_port) + "/" + name; }

    void serve(const std::string& name, Handler handler) {
        const std::lock_guard lock(m_mutex);
        m_handlers[name] = std::move(handler);
    }

    void serveBytes(const std::string& name, const std::string& bytes, Gate* gate = nullptr) {
        serve(name, [bytes, gate](httplib::Response& response) {
            if (gate)
                gate->passWhenOpen();
            response.set_content(bytes, "application/octet-stream");
        });
    }

    std::vector<std::string> requests() const {
        const std::lock_guard lock(m_mutex);
        return m_requests;
    }

    FileEntry entry(const std::string& name, const std::string& location, const std::string& bytes,
                    std::int32_t required, std::int32_t gameData = 0) const {
        return FileEntry{gameData, required, location, md5Of(bytes), url(name)};
    }

    Launcher& launcher() {
        if (!m_launcher) {
            m_launcher = std::make_unique<Launcher>(m_folder.string());
            m_launcher->setLanguage(Language::English);
            m_launcher->setRetryDelays(20ms, 50ms);
        }
        return *m_launcher;
    }

    fs::path m_folder;
    fs::path m_previous;
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_listener;
    mutable std::mutex m_mutex; // guards m_requests and m_handlers: the server's threads use them
    std::vector<std::string> m_requests;
    std::map<std::string, Handler> m_handlers;
    std::unique_ptr<Launcher> m_launcher;
};

TEST_F(FileWorkerTest, RequiredFilesComeFirstAndPlayUnlocksAtTheFirstOptionalOne) {
    Gate secondRequired;
    Gate firstOptional;
    serveBytes("req1", "required one");
    serveBytes("opt2", "optional two");
    serve("opt1", [&firstOptional](httplib::Response& response) {
        firstOptional.passWhenOpen();
        response.set_content("optional one", "application/octet-stream");
    });
    serve("req2", [&secondRequired](httplib::Response& response) {
        secondRequired.passWhenOpen();
        response.set_content("required two", "application/octet-stream");
    });

    launcher().startFileSync(
        {entry("opt1", "opt1.bin", "optional one", 0), entry("req1", "req1.bin", "required one", 1),
         entry("opt2", "opt2.bin", "optional two", 0), entry("req2", "data/req2.bin", "required two", 2)});

    ASSERT_TRUE(secondRequired.waitEntered());
    EXPECT_FALSE(launcher().canPlay()) << "a required file is still on its way";
    EXPECT_EQ(launcher().statusText(), "Download - Requirements");
    secondRequired.open();

    ASSERT_TRUE(firstOptional.waitEntered());
    EXPECT_TRUE(launcher().canPlay());
    EXPECT_FALSE(launcher().allDone());
    EXPECT_EQ(launcher().statusText(), "Download - Additional");
    firstOptional.open();

    ASSERT_TRUE(launcher().waitUntilAllDone(workerTimeout));
    EXPECT_EQ(launcher().statusText(), "Ready to Play");
    EXPECT_EQ(requests(), (std::vector<std::string>{"req1", "req2", "opt1", "opt2"}));
    EXPECT_EQ(readFile("data/req2.bin"), "required two");
    EXPECT_EQ(readFile("opt2.bin"), "optional two");
}

TEST_F(FileWorkerTest, EntriesSharingOneUrlAreDownloadedOnceAndCopied) {
    const std::string bytes(300'000, 'x');
    serveBytes("shared", bytes);
    serveBytes("other", "other");
    // The later places are copies: even a wrong file there is not checked or fetched by itself.
    writeFile("second.bin", "stale");
    const FileEntry first = entry("shared", "sub/first.bin", bytes, 1);
    FileEntry second = first;
    second.location = "second.bin";
    FileEntry third = first;
    third.location = "new\\folder\\third.bin"; // a folder the player does not have yet
    launcher().startFileSync({first, second, third, entry("other", "other.bin", "other", 0)});

    ASSERT_TRUE(launcher().waitUntilAllDone(workerTimeout));
    EXPECT_EQ(requests(), (std::vector<std::string>{"shared", "other"}));
    EXPECT_EQ(readFile("sub/first.bin"), bytes);
    EXPECT_EQ(readFile("second.bin"), bytes);
    EXPECT_EQ(readFile("new/folder/third.bin"), bytes);
}

TEST_F(FileWorkerTest, EmptyChecksumTakesOneDownloadAndNoPause) {
    serveBytes("any", "whatever the server has");
    serveBytes("kept", "new contents");
    writeFile("kept.bin", "old contents");
    // A long pause would show: the download that "fails" only for the empty checksum must be accepted at once.
    launcher().setRetryDelays(5s, 5s);
    launcher().startFileSync({{0, 1, "any.bin", "", url("any")}, {0, 0, "kept.bin", "", url("kept")}});

    ASSERT_TRUE(launcher().waitUntilAllDone(3s));
    EXPECT_EQ(requests(), std::vector<std::string>{"any"});
    EXPECT_EQ(readFile("any.bin"), "whatever the server has");
    EXPECT_EQ(readFile("kept.bin"), "old contents") << "an existing file with an empty checksum is kept";
}

TEST_F(FileWorkerTest, GameDataOnlyWithTheFullDownload) {
    serveBytes("game", "game data");
    launcher().startFileSync({entry("game", "game.bin", "game data", 1, 1)});
    ASSERT_TRUE(launcher().waitUntilAllDone(workerTimeout));
    EXPECT_TRUE(requests().empty());
    EXPECT_FALSE(fs::exists("game.bin"));

    Gate gate;
    serveBytes("game", "game data", &gate);
    Launcher full(m_folder.string());
    full.setLanguage(Language::English);
    full.setFullGameDownload(true);
    full.startFileSync({entry("game", "game.bin", "game data", 1, 1)});
    ASSERT_TRUE(gate.waitEntered());
    EXPECT_EQ(full.statusText(), "Download - Game Data");
    gate.open();
    ASSERT_TRUE(full.waitUntilAllDone(workerTimeout));
    EXPECT_EQ(readFile("game.bin"), "game data");
}

TEST_F(FileWorkerTest, FailuresAreRetriedWithPausesUntilTheFileChecksOut) {
    std::mutex mutex; // guards times: the server's thread writes them
    std::vector<std::chrono::steady_clock::time_point> times;
    serve("flaky", [&](httplib::Response& response) {
        const std::lock_guard lock(mutex);
        times.push_back(std::chrono::steady_clock::now());
        if (times.size() == 1)
            response.status = 500;
        else
            response.set_content(times.size() == 2 ? "corrupt" : "good bytes", "application/octet-stream");
    });
    launcher().setRetryDelays(100ms, 200ms);
    launcher().startFileSync({entry("flaky", "flaky.bin", "good bytes", 1)});

    ASSERT_TRUE(launcher().waitUntilAllDone(workerTimeout));
    EXPECT_EQ(launcher().statusText(), "Ready to Play");
    EXPECT_EQ(readFile("flaky.bin"), "good bytes");
    const std::lock_guard lock(mutex);
    ASSERT_EQ(times.size(), 3u);
    // The jitter takes at most a quarter off each pause; the second pause is about twice the first.
    EXPECT_GE(times[1] - times[0], 75ms);
    EXPECT_GE(times[2] - times[1], 150ms);
}

TEST_F(FileWorkerTest, LocationsOutsideTheGameFolderAreRefused) {
    const fs::path outsideAbsolute = m_folder.parent_path() / (m_folder.filename().string() + "-absolute.bin");
    const fs::path outsideRelative = m_folder.parent_path() / (m_folder.filename().string() + "-relative.bin");
    serveBytes("a", "a");
    serveBytes("b", "b");
    serveBytes("c", "c");
    serveBytes("shared", "shared");
    const FileEntry inside = entry("shared", "inside.bin", "shared", 0);
    FileEntry escapingCopy = inside;
    escapingCopy.location = "../" + outsideRelative.filename().string();

    launcher().startFileSync({entry("a", "../" + outsideRelative.filename().string(), "a", 1),
                              entry("b", outsideAbsolute.string(), "b", 1), entry("c", "", "c", 0), inside,
                              escapingCopy});

    ASSERT_TRUE(launcher().waitUntilAllDone(workerTimeout));
    EXPECT_EQ(requests(), std::vector<std::string>{"shared"});
    EXPECT_EQ(readFile("inside.bin"), "shared");
    EXPECT_FALSE(fs::exists(outsideRelative));
    EXPECT_FALSE(fs::exists(outsideAbsolute));
}

} // namespace
