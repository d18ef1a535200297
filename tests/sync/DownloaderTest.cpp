// DownloadToFile against a real local server whose handlers inject the faults: statuses, redirects, cuts, stalls.
#include "sync/Downloader.hpp"

#include "support/LocalServer.hpp"
#include "support/TempFolder.hpp"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>
#include <thread>

namespace {

// A resolver that takes its time: lookups of this name hang like a slow DNS server until released.
constexpr const char* slowHost = "slow-lookup.invalid";
constexpr auto slowLookupTime = std::chrono::seconds(8);
std::atomic<bool> slowLookupRelease{false};

} // namespace

// Stands in for the C library's lookup in this program, libcurl's resolver thread included.
extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints, addrinfo** result) {
    if (node != nullptr && std::strcmp(node, slowHost) == 0) {
        const auto until = std::chrono::steady_clock::now() + slowLookupTime;
        while (!slowLookupRelease && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return EAI_NONAME;
    }
    using Lookup = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
    static const auto real = reinterpret_cast<Lookup>(::dlsym(RTLD_NEXT, "getaddrinfo"));
    return real(node, service, hints, result);
}

namespace {

using namespace std::chrono_literals;
using testing_support::LocalServer;
using testing_support::readFile;
using testing_support::TempFolder;

// A port that was free a moment ago and has no listener: connecting to it is refused.
int closedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
                       ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    ::close(fd);
    return bound ? ntohs(address.sin_port) : 1;
}

constexpr std::size_t bodySize = 700 * 1024;
constexpr std::size_t announcedSize = 1024 * 1024;

std::string randomBody() {
    std::mt19937 engine(42);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string bytes(bodySize, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(byte(engine));
    }
    return bytes;
}

class DownloaderTest : public testing::Test {
protected:
    void SetUp() override {
        httplib::Server& server = m_server.server();
        server.Get("/body", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(m_body, "application/octet-stream");
        });
        server.Get("/missing", [](const httplib::Request&, httplib::Response& res) { res.status = 404; });
        server.Get("/broken", [](const httplib::Request&, httplib::Response& res) {
            res.status = 500;
            res.set_content("server trouble", "text/plain");
        });
        server.Get("/moved", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/body"); });
        server.Get("/loop", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/loop"); });
        server.Get("/to-local",
                   [](const httplib::Request&, httplib::Response& res) { res.set_redirect("file:///etc/hostname"); });
        server.Get("/not-modified", [](const httplib::Request&, httplib::Response& res) { res.status = 304; });
        // Announces more than it sends, then drops the connection.
        server.Get("/cut", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(announcedSize, "application/octet-stream",
                                     [this](size_t offset, size_t, httplib::DataSink& sink) {
                                         if (offset >= bodySize / 2) {
                                             return false;
                                         }
                                         return sink.write(m_body.data(), bodySize / 2);
                                     });
        });
        // Sends a little, then nothing at all until the test ends.
        server.Get("/stall", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(announcedSize, "application/octet-stream",
                                     [this](size_t offset, size_t, httplib::DataSink& sink) {
                                         if (offset == 0) {
                                             return sink.write(m_body.data(), 1024);
                                         }
                                         idle(10s);
                                         return false;
                                     });
        });
        // A trickle fast enough not to count as stalled, so only the stop flag can end it.
        server.Get("/slow", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(announcedSize, "application/octet-stream",
                                     [this](size_t offset, size_t, httplib::DataSink& sink) {
                                         idle(20ms);
                                         return !m_release && sink.write(m_body.data() + offset % bodySize, 4096);
                                     });
        });
        server.set_logger([this](const httplib::Request&, const httplib::Response&) { ++m_requests; });

        ASSERT_TRUE(m_server.start());
    }

    void TearDown() override {
        m_release = true;
        m_server.stop();
    }

    // Waits in slices so that TearDown never waits for a handler's whole pause.
    void idle(std::chrono::milliseconds length) const {
        const auto until = std::chrono::steady_clock::now() + length;
        while (!m_release && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(5ms);
        }
    }

    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_server.port()) + path;
    }
    std::string target(const std::string& name = "file.bin") const { return (m_folder.path() / name).string(); }

    // Every file in the folder: a leftover temporary file shows up here.
    std::vector<std::string> folderContents() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(m_folder.path())) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    struct StoppedDownload {
        DownloadResult result;
        std::chrono::steady_clock::duration lag; // from setting the stop flag to the download's return
    };

    // Downloads `path` (or a whole address) and sets the stop flag 300 ms in, from another thread.
    StoppedDownload downloadStoppedMidway(const std::string& path) {
        std::chrono::steady_clock::time_point stoppedAt;
        std::thread stopper([&] {
            std::this_thread::sleep_for(300ms);
            stoppedAt = std::chrono::steady_clock::now();
            m_stop = true;
        });
        const DownloadResult result = DownloadToFile(path.front() == '/' ? url(path) : path, target(), m_stop);
        const auto returnedAt = std::chrono::steady_clock::now();
        stopper.join();
        return {result, returnedAt - stoppedAt};
    }

    const std::string m_body = randomBody();
    TempFolder m_folder;
    LocalServer m_server;
    std::atomic<bool> m_release{false};
    std::atomic<int> m_requests{0};
    StopFlag m_stop{false};
};

TEST_F(DownloaderTest, WritesTheExactBodyDirectlyOrThroughRedirects) {
    for (const char* path : {"/body", "/moved"}) {
        const DownloadResult result = DownloadToFile(url(path), target(), m_stop);
        ASSERT_TRUE(result) << path << ": " << result.toString();
        EXPECT_EQ(readFile(target()), m_body) << path;
        EXPECT_EQ(result.toString(), "downloaded");
    }
    EXPECT_EQ(folderContents(), std::vector<std::string>{"file.bin"});
}

TEST_F(DownloaderTest, ServerRefusalsFailWithTheirStatusAndKeepTheOldFile) {
    m_folder.write("file.bin", "old contents");
    const std::pair<const char*, long> cases[] = {{"/missing", 404}, {"/broken", 500}, {"/not-modified", 304}};
    for (const auto& [path, status] : cases) {
        const DownloadResult result = DownloadToFile(url(path), target(), m_stop);
        EXPECT_EQ(result.error, DownloadError::HttpStatus) << path << ": " << result.toString();
        EXPECT_EQ(result.httpStatus, status) << path;
        EXPECT_NE(result.toString().find(std::to_string(status)), std::string::npos) << result.toString();
    }
    EXPECT_EQ(readFile(target()), "old contents");
    EXPECT_EQ(folderContents(), std::vector<std::string>{"file.bin"});
}

TEST_F(DownloaderTest, BrokenTransfersFailAndLeaveNoPartialFile) {
    // Neither a connection cut mid-body nor an endless redirect may leave anything under the real name.
    for (const char* path : {"/cut", "/loop"}) {
        const DownloadResult result = DownloadToFile(url(path), target(), m_stop);
        EXPECT_EQ(result.error, DownloadError::Transfer) << path << ": " << result.toString();
        EXPECT_FALSE(result.detail.empty()) << path;
    }
    EXPECT_TRUE(folderContents().empty());

    m_folder.write("file.bin", "old contents");
    EXPECT_FALSE(DownloadToFile(url("/cut"), target(), m_stop));
    EXPECT_EQ(readFile(target()), "old contents");
    EXPECT_EQ(folderContents(), std::vector<std::string>{"file.bin"});
}

TEST_F(DownloaderTest, OnlyWebAddressesAreFetched) {
    // A port that takes connections and never answers: a refused protocol must not even connect to it.
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const std::string ftp = "ftp://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/file.bin";
    m_server.server().Get("/to-ftp",
                          [&ftp](const httplib::Request&, httplib::Response& res) { res.set_redirect(ftp); });

    DownloadOptions quick;
    quick.connectTimeout = 2s;
    quick.lowSpeedTime = 2s;
    for (const std::string& refused : {ftp, url("/to-ftp"), std::string("file:///etc/hostname"), url("/to-local")}) {
        const DownloadResult result = DownloadToFile(refused, target(), m_stop, quick);
        EXPECT_EQ(result.error, DownloadError::Transfer) << refused << ": " << result.toString();
    }
    const int connection = ::accept(listener, nullptr, nullptr);
    EXPECT_LT(connection, 0) << "an ftp:// address was connected to";
    if (connection >= 0)
        ::close(connection);
    ::close(listener);
    EXPECT_TRUE(folderContents().empty());
}

TEST_F(DownloaderTest, UnreachableServerAndUnwritableTargetFail) {
    const DownloadResult refused =
        DownloadToFile("http://127.0.0.1:" + std::to_string(closedPort()) + "/body", target(), m_stop);
    EXPECT_EQ(refused.error, DownloadError::Transfer) << refused.toString();

    const DownloadResult noFolder = DownloadToFile(url("/body"), target("absent/file.bin"), m_stop);
    EXPECT_EQ(noFolder.error, DownloadError::LocalFile) << noFolder.toString();
    EXPECT_EQ(m_requests, 0) << "no request before a place to write exists";

    // A folder in the target's place stays a folder.
    std::filesystem::create_directory(target("taken"));
    const DownloadResult folderInTheWay = DownloadToFile(url("/body"), target("taken"), m_stop);
    EXPECT_EQ(folderInTheWay.error, DownloadError::LocalFile) << folderInTheWay.toString();
    EXPECT_TRUE(std::filesystem::is_directory(target("taken")));
    EXPECT_EQ(folderContents(), std::vector<std::string>{"taken"});
}

TEST_F(DownloaderTest, StalledTransferFailsOnceTheLowSpeedTimeHasPassed) {
    m_folder.write("file.bin", "old contents");
    DownloadOptions options;
    options.lowSpeedLimit = 1024;
    options.lowSpeedTime = 1s;
    const auto start = std::chrono::steady_clock::now();
    const DownloadResult result = DownloadToFile(url("/stall"), target(), m_stop, options);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(result.error, DownloadError::Transfer) << result.toString();
    EXPECT_LT(elapsed, 5s);
    EXPECT_EQ(readFile(target()), "old contents");
    EXPECT_EQ(folderContents(), std::vector<std::string>{"file.bin"});
}

TEST_F(DownloaderTest, StopFlagEndsATransferWithinASecond) {
    const StoppedDownload slow = downloadStoppedMidway("/slow");
    EXPECT_EQ(slow.result.error, DownloadError::Stopped) << slow.result.toString();
    EXPECT_LT(slow.lag, 1s);
    EXPECT_TRUE(folderContents().empty());

    // A server that has gone silent is left just as quickly.
    m_stop = false;
    const StoppedDownload silent = downloadStoppedMidway("/stall");
    EXPECT_EQ(silent.result.error, DownloadError::Stopped) << silent.result.toString();
    EXPECT_LT(silent.lag, 1s);
    EXPECT_TRUE(folderContents().empty());

    // A lookup that hangs: closing must not wait for the resolver.
    m_stop = false;
    const StoppedDownload lookup = downloadStoppedMidway("http://" + std::string(slowHost) + "/body");
    slowLookupRelease = true;
    EXPECT_EQ(lookup.result.error, DownloadError::Stopped) << lookup.result.toString();
    EXPECT_LT(lookup.lag, 1s);

    // Already set: nothing is requested at all.
    const int before = m_requests;
    EXPECT_EQ(DownloadToFile(url("/body"), target(), m_stop).error, DownloadError::Stopped);
    EXPECT_EQ(m_requests, before);
}

TEST_F(DownloaderTest, ParallelDownloadsToNeighbouringTargetsDoNotMix) {
    StopFlag stop{false};
    DownloadResult first;
    std::thread other([&] { first = DownloadToFile(url("/body"), target("a.bin"), stop); });
    const DownloadResult second = DownloadToFile(url("/moved"), target("b.bin"), stop);
    other.join();
    ASSERT_TRUE(first) << first.toString();
    ASSERT_TRUE(second) << second.toString();
    EXPECT_EQ(readFile(target("a.bin")), m_body);
    EXPECT_EQ(readFile(target("b.bin")), m_body);
    EXPECT_EQ(folderContents(), (std::vector<std::string>{"a.bin", "b.bin"}));
}

} // namespace
