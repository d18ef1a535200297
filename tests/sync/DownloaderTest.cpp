// DownloadToFile against a real local server whose handlers inject the faults: statuses, redirects, cuts, stalls.
// A resolver that hangs is Linux's own case (linux/DownloaderLinuxTest.cpp).
#include "sync/Downloader.hpp"

#include "net/BuildConfig.hpp"
#include "platform/Crypto.hpp"
#include "sync/ResumeRecord.hpp"

#include "support/LocalServer.hpp"
#include "support/Md5.hpp"
#include "support/TempFolder.hpp"

#include <SFML/Network/TcpListener.hpp>
#include <SFML/Network/TcpSocket.hpp>
#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <random>
#include <set>
#include <thread>
#include <utility>

namespace {

using namespace std::chrono_literals;
using testing_support::LocalServer;
using testing_support::md5Hex;
using testing_support::readFile;
using testing_support::TempFolder;

// A port that was free a moment ago and has no listener: connecting to it is refused.
int closedPort() {
    sf::TcpListener listener;
    if (listener.listen(sf::Socket::AnyPort, sf::IpAddress::LocalHost) != sf::Socket::Done)
        return 1;
    return listener.getLocalPort();
}

constexpr std::size_t bodySize = 700 * 1024;
constexpr std::size_t announcedSize = 1024 * 1024;
constexpr std::size_t absurdLength = 1'000'000'000'000'000'000;

std::string randomBody() {
    std::mt19937 engine(42);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string bytes(bodySize, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(byte(engine));
    }
    return bytes;
}

// Large enough to come in pieces.
std::string bigBody() {
    std::string bytes = randomBody();
    while (bytes.size() < 6 * 1024 * 1024)
        bytes += bytes.substr(0, 1024 * 1024) + "x";
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
        // No length announced: the body ends when the server says so, or (cut) never properly.
        const auto chunked = [this](bool cut) {
            return [this, cut](const httplib::Request&, httplib::Response& res) {
                res.set_chunked_content_provider(
                    "application/octet-stream", [this, cut](size_t offset, httplib::DataSink& sink) {
                        const std::size_t end = cut ? bodySize / 2 : bodySize;
                        if (offset >= end) {
                            if (!cut)
                                sink.done();
                            return !cut;
                        }
                        const std::size_t block = std::min<std::size_t>(64 * 1024, end - offset);
                        return sink.write(m_body.data() + offset, block);
                    });
            };
        };
        server.Get("/chunked", chunked(false));
        server.Get("/chunked-cut", chunked(true));
        // Announces a length no disk holds.
        server.Get("/huge", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(absurdLength, "application/octet-stream",
                                     [this](size_t, size_t, httplib::DataSink& sink) {
                                         sink.write(m_body.data(), 1024);
                                         return false;
                                     });
        });
        // The library would slice bodies by Range itself; these handlers answer Range as the test needs.
        server.set_pre_routing_handler([](const httplib::Request& req, httplib::Response&) {
            const_cast<httplib::Request&>(req).ranges.clear();
            return httplib::Server::HandlerResponse::Unhandled;
        });
        // A file with a validator. It honours Range and If-Range unless told otherwise, and can cut itself short.
        server.Get("/resumable", [this](const httplib::Request& req, httplib::Response& res) {
            const std::lock_guard lock(m_mutex);
            m_ranges.push_back(req.get_header_value("Range") + "|" + req.get_header_value("If-Range"));
            res.set_header("ETag", m_etag);
            std::size_t first = 0;
            const std::string range = req.get_header_value("Range");
            const bool valid = !req.has_header("If-Range") || req.get_header_value("If-Range") == m_etag;
            if (!range.empty() && (valid || m_ignoreIfRange) && !m_ignoreRange) {
                first = std::stoul(range.substr(6));
                if (first >= m_file.size()) {
                    res.status = 416;
                    res.set_header("Content-Range", "bytes */" + std::to_string(m_file.size()));
                    return;
                }
                res.status = 206;
                res.set_header("Content-Range", "bytes " + std::to_string(first) + "-" +
                                                    std::to_string(m_file.size() - 1) + "/" +
                                                    std::to_string(m_file.size()));
            }
            const std::string body = m_file.substr(first);
            const std::size_t cutAt = m_cutAt;
            res.set_content_provider(
                body.size(), "application/octet-stream", [body, cutAt](size_t offset, size_t, httplib::DataSink& sink) {
                    const std::size_t end = std::min(body.size(), cutAt);
                    if (offset >= end)
                        return false;
                    return sink.write(body.data() + offset, std::min<std::size_t>(end - offset, 64 * 1024));
                });
        });
        // A large file that serves "bytes=A-B" and "bytes=A-" (unless told to ignore Range, which it then still
        // claims to serve), with an ETag.
        server.Get("/big", [this](const httplib::Request& req, httplib::Response& res) {
            const std::lock_guard lock(m_mutex);
            const std::string range = req.get_header_value("Range");
            m_bigRequests.push_back(range + "|" + req.get_header_value("If-Range"));
            res.set_header("ETag", "\"big\"");
            res.set_header("Accept-Ranges", "bytes");
            std::size_t first = 0;
            std::size_t end = m_big.size();
            if (!range.empty() && !m_bigIgnoresRange) {
                const std::size_t dash = range.find('-');
                first = std::stoul(range.substr(6, dash - 6));
                if (dash + 1 < range.size())
                    end = std::stoul(range.substr(dash + 1)) + 1;
                res.status = 206;
                res.set_header("Content-Range", "bytes " + std::to_string(first) + "-" + std::to_string(end - 1) + "/" +
                                                    std::to_string(m_big.size()));
            }
            // Paced, 64 KiB a millisecond or slower: a fast enough client would take the whole file on its first
            // connection before any piece could start beside it.
            res.set_content_provider(end - first, "application/octet-stream",
                                     [this, first](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                         std::this_thread::sleep_for(std::chrono::milliseconds(1));
                                         return sink.write(m_big.data() + first + offset,
                                                           std::min<std::size_t>(length, 64 * 1024));
                                     });
        });
        // The library's default closes a connection after 5 requests, which would hide a client's reuse.
        server.set_keep_alive_max_count(100);
        server.set_logger([this](const httplib::Request& req, const httplib::Response&) {
            ++m_requests;
            const std::lock_guard lock(m_mutex);
            m_clientPorts.insert(req.remote_port);
            m_userAgents.insert(req.get_header_value("User-Agent"));
        });

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

    // Fetches /resumable into target() as SyncFile does, resumable, for `checksum`.
    DownloadResult fetchResumable(Downloader& downloader, const std::string& checksum) {
        return downloader.fetch(DownloadRequest{url("/resumable") + "?1", target(), true, url("/resumable"), checksum});
    }

    // Serves `file` under `etag`, cut after `cutAt` body bytes of each answer.
    void serve(std::string file, std::string etag, std::size_t cutAt = std::string::npos, bool ignoreRange = false,
               bool ignoreIfRange = false) {
        const std::lock_guard lock(m_mutex);
        m_file = std::move(file);
        m_etag = std::move(etag);
        m_cutAt = cutAt;
        m_ignoreRange = ignoreRange;
        m_ignoreIfRange = ignoreIfRange;
        m_ranges.clear();
    }

    // The connections seen once `requests` requests have been logged (the log line follows the answer).
    std::size_t connectionsAfter(int requests) {
        for (int i = 0; i < 200 && m_requests < requests; ++i)
            std::this_thread::sleep_for(10ms);
        const std::lock_guard lock(m_mutex);
        return m_clientPorts.size();
    }

    std::vector<std::string> ranges() {
        const std::lock_guard lock(m_mutex);
        return m_ranges;
    }

    // "Range|If-Range" of each request for /big since the last call.
    std::vector<std::string> bigRequests() {
        const std::lock_guard lock(m_mutex);
        return std::exchange(m_bigRequests, {});
    }

    DownloadResult fetchBig(Downloader& downloader, const std::string& name = "file.bin",
                            const std::string& sha256 = {}) {
        return downloader.fetch(
            DownloadRequest{url("/big") + "?1", target(name), true, url("/big"), md5Hex(m_big), m_big.size(), sha256});
    }

    std::uint64_t partialSize() const {
        std::error_code error;
        const auto size = std::filesystem::file_size(target() + ".varnhold-partial", error);
        return error ? 0 : size;
    }

    const std::string m_body = randomBody();
    std::mutex m_mutex; // guards the fields below, read on the server's threads
    std::string m_file;
    std::string m_etag;
    std::size_t m_cutAt = std::string::npos;
    bool m_ignoreRange = false;
    bool m_ignoreIfRange = false;
    std::vector<std::string> m_ranges; // "Range|If-Range" of each request to /resumable
    std::string m_big = bigBody();
    bool m_bigIgnoresRange = false;
    std::vector<std::string> m_bigRequests;
    std::set<int> m_clientPorts; // one per connection the clients opened
    std::set<std::string> m_userAgents;
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
    connectionsAfter(3); // the log line of a request follows its answer
    const std::lock_guard lock(m_mutex);
    EXPECT_EQ(m_userAgents, std::set<std::string>{"varnhold-launcher/" + std::to_string(build::launcherVersion)});
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
    sf::TcpListener listener;
    ASSERT_EQ(listener.listen(sf::Socket::AnyPort, sf::IpAddress::LocalHost), sf::Socket::Done);
    listener.setBlocking(false);
    const std::string ftp = "ftp://127.0.0.1:" + std::to_string(listener.getLocalPort()) + "/file.bin";
    m_server.server().Get("/to-ftp",
                          [&ftp](const httplib::Request&, httplib::Response& res) { res.set_redirect(ftp); });

    DownloadOptions quick;
    quick.connectTimeout = 2s;
    quick.lowSpeedTime = 2s;
    for (const std::string& refused : {ftp, url("/to-ftp"), std::string("file:///etc/hostname"), url("/to-local")}) {
        const DownloadResult result = DownloadToFile(refused, target(), m_stop, quick);
        EXPECT_EQ(result.error, DownloadError::Transfer) << refused << ": " << result.toString();
    }
    sf::TcpSocket connection;
    EXPECT_EQ(listener.accept(connection), sf::Socket::NotReady) << "an ftp:// address was connected to";
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

TEST_F(DownloaderTest, ACutDownloadGoesOnFromItsPartialFileAndIsHashedOnTheWayIn) {
    serve(m_body, "\"v1\"", bodySize / 3);
    Downloader downloader(m_stop);
    const DownloadResult cut = fetchResumable(downloader, md5Hex(m_body));
    EXPECT_EQ(cut.error, DownloadError::Transfer) << cut.toString();
    const std::uint64_t kept = partialSize();
    ASSERT_GT(kept, 0u);
    EXPECT_FALSE(std::filesystem::exists(target()));

    serve(m_body, "\"v1\"");
    std::vector<TransferProgress> seen;
    downloader.setProgressHook([&seen](const TransferProgress& progress) { seen.push_back(progress); });
    const DownloadResult resumed = fetchResumable(downloader, md5Hex(m_body));
    ASSERT_TRUE(resumed) << resumed.toString();
    EXPECT_EQ(ranges(), std::vector<std::string>{"bytes=" + std::to_string(kept) + "-|\"v1\""});
    EXPECT_EQ(resumed.resumedFrom, kept);
    EXPECT_EQ(resumed.received, bodySize - kept);
    EXPECT_EQ(resumed.md5, md5Hex(m_body));
    EXPECT_EQ(readFile(target()), m_body);
    EXPECT_EQ(folderContents(), std::vector<std::string>{"file.bin"}) << "no partial file or record left";

    // Progress starts at the resumed part, never goes back, and ends at the whole size.
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front().done, kept);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end(), [](auto& a, auto& b) { return a.done < b.done; }));
    EXPECT_EQ(seen.back().done, bodySize);
    EXPECT_EQ(seen.back().total, bodySize);
}

TEST_F(DownloaderTest, APartialFileThatNoLongerFitsStartsOverAndNothingMixes) {
    const std::string changed = m_body.substr(bodySize / 2) + m_body.substr(0, bodySize / 2);
    struct Case {
        const char* what;
        std::string file, etag;
        bool ignoreRange, ignoreIfRange;
        std::string checksum;
    } cases[] = {
        {"the server ignores Range", m_body, "\"v1\"", true, false, md5Hex(m_body)},
        {"the file changed and If-Range sends it whole", changed, "\"v2\"", false, false, md5Hex(changed)},
        {"the file changed and a tail of it comes back", changed, "\"v2\"", false, true, md5Hex(changed)},
        {"the list now expects another checksum", changed, "\"v1\"", false, false, md5Hex(changed)},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(target());
        serve(m_body, "\"v1\"", bodySize / 3);
        Downloader downloader(m_stop);
        ASSERT_FALSE(fetchResumable(downloader, md5Hex(m_body))) << c.what;
        ASSERT_GT(partialSize(), 0u) << c.what;

        serve(c.file, c.etag, std::string::npos, c.ignoreRange, c.ignoreIfRange);
        const DownloadResult result = fetchResumable(downloader, c.checksum);
        ASSERT_TRUE(result) << c.what << ": " << result.toString();
        EXPECT_EQ(result.md5, md5Hex(c.file)) << c.what;
        EXPECT_EQ(readFile(target()), c.file) << c.what;
        EXPECT_EQ(folderContents(), std::vector<std::string>{"file.bin"}) << c.what;
    }
    // A partial file begun for another checksum is not even offered to the server.
    EXPECT_EQ(ranges(), std::vector<std::string>{"|"});
}

TEST_F(DownloaderTest, AWholePartialFileIsTakenWithoutItsBytesAgain) {
    // A run killed between the last byte and the rename: the server says there is nothing more to send.
    serve(m_body, "\"v1\"");
    m_folder.write("file.bin.varnhold-partial", m_body);
    const ResumeRecord record{url("/resumable"), md5Hex(m_body), "\"v1\""};
    ASSERT_TRUE(record.save(target()));
    Downloader downloader(m_stop);
    const DownloadResult result = fetchResumable(downloader, md5Hex(m_body));
    ASSERT_TRUE(result) << result.toString();
    EXPECT_EQ(result.received, 0u);
    EXPECT_EQ(result.md5, md5Hex(m_body));
    EXPECT_EQ(readFile(target()), m_body);
    EXPECT_EQ(folderContents(), std::vector<std::string>{"file.bin"});
}

TEST_F(DownloaderTest, ABodyPastItsSizeOrOfAnAbsurdLengthIsAFailedAttemptNotAFullDisk) {
    m_folder.write("file.bin", "old contents");
    Downloader downloader(m_stop);
    const auto fetch = [&](const char* path, std::optional<std::uint64_t> size) {
        return downloader.fetch(DownloadRequest{url(path), target(), true, {}, md5Hex(m_body), size});
    };
    // The list's size caps the body, whether the server announces a greater length or none at all.
    for (const char* path : {"/body", "/chunked"}) {
        const DownloadResult result = fetch(path, bodySize - 1);
        EXPECT_EQ(result.error, DownloadError::Transfer) << path << ": " << result.toString();
        EXPECT_LT(result.received, bodySize) << path;
    }
    // Without a size from the list, a length no disk holds is a lie, not a reason to ask the player for room.
    const DownloadResult absurd = fetch("/huge", std::nullopt);
    EXPECT_EQ(absurd.error, DownloadError::Transfer) << absurd.toString();
    EXPECT_TRUE(readFile(target()) == "old contents") << "the target was replaced";
    EXPECT_EQ(folderContents(), std::vector<std::string>{"file.bin"});

    const DownloadResult exact = fetch("/chunked", bodySize);
    ASSERT_TRUE(exact) << exact.toString();
    EXPECT_EQ(readFile(target()), m_body);
}

TEST_F(DownloaderTest, ABodyOfUnknownLengthLeavesNothingToGrowOnAcrossRuns) {
    // Nothing says where such a body ends, so a part of it is never gone on from: it would only grow.
    Downloader downloader(m_stop);
    EXPECT_FALSE(downloader.fetch(DownloadRequest{url("/chunked-cut"), target(), true, {}, md5Hex(m_body)}));
    EXPECT_TRUE(folderContents().empty());
    // The list's size bounds it: then the part is kept for the next attempt.
    EXPECT_FALSE(downloader.fetch(DownloadRequest{url("/chunked-cut"), target(), true, {}, md5Hex(m_body), bodySize}));
    EXPECT_EQ(partialSize(), bodySize / 2);
}

#ifdef CPPHTTPLIB_OPENSSL_SUPPORT
TEST_F(DownloaderTest, AnHttpsDownloadIsNeverRedirectedToPlainHttp) {
    const std::optional<testing_support::TestCertificate> made = testing_support::makeTestCertificate(m_folder.path());
    ASSERT_TRUE(made);
    LocalServer secure(made->certificate, made->key);
    secure.server().Get("/body", [this](const httplib::Request&, httplib::Response& res) {
        res.set_content(m_body, "application/octet-stream");
    });
    secure.server().Get("/moved", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/body"); });
    const std::string plain = url("/body");
    secure.server().Get("/downgrade",
                        [&plain](const httplib::Request&, httplib::Response& res) { res.set_redirect(plain); });
    ASSERT_TRUE(secure.start());
    DownloadOptions trusting;
    trusting.caFile = made->certificate;

    const DownloadResult secured = DownloadToFile(secure.base() + "moved", target(), m_stop, trusting);
    ASSERT_TRUE(secured) << secured.toString();
    std::filesystem::remove(target());
    const DownloadResult downgraded = DownloadToFile(secure.base() + "downgrade", target(), m_stop, trusting);
    EXPECT_EQ(downgraded.error, DownloadError::Transfer) << downgraded.toString();
    EXPECT_FALSE(std::filesystem::exists(target()));
    EXPECT_EQ(m_requests, 0) << "the plain http address was asked";
}
#endif

TEST_F(DownloaderTest, ALargeFileComesInPiecesSideBySideAndResumesEachPieceFromItsRecord) {
    DownloadOptions four;
    four.connections = 4;
    Downloader downloader(m_stop, four);
    platform::Sha256Digest digest;
    ASSERT_TRUE(digest.update(m_big.data(), m_big.size()));
    const std::string sha256 = digest.hex();
    const DownloadResult whole = fetchBig(downloader, "file.bin", sha256);
    ASSERT_TRUE(whole) << whole.toString();
    EXPECT_EQ(whole.sha256, sha256) << "both digests follow the pieces";
    EXPECT_EQ(readFile(target()), m_big);
    std::vector<std::string> asked = bigRequests();
    EXPECT_GE(asked.size(), 3u) << "one request and pieces beside it";
    EXPECT_EQ(std::count(asked.begin(), asked.end(), "|"), 1) << "only the first asks for the whole file";
    for (const std::string& request : asked)
        EXPECT_TRUE(request == "|" || request.ends_with("|\"big\"")) << "a piece without If-Range: " << request;
    EXPECT_EQ(folderContents(), std::vector<std::string>{"file.bin"});

    // What a killed run leaves: the first piece partly written (with more bytes on disk than its record says), the
    // second not begun, the third complete; the gaps hold zeros.
    constexpr std::uint64_t mib = 1024 * 1024;
    std::string part(m_big.size(), '\0');
    part.replace(0, mib + 4096, m_big.substr(0, mib + 4096));
    part.replace(4 * mib, m_big.size() - 4 * mib, m_big.substr(4 * mib));
    m_folder.write("other.bin.varnhold-partial", part);
    const ResumeRecord record{
        url("/big"),
        md5Hex(m_big),
        "\"big\"",
        {{0, 2 * mib, mib}, {2 * mib, 4 * mib, 0}, {4 * mib, m_big.size(), m_big.size() - 4 * mib}}};
    ASSERT_TRUE(record.save(target("other.bin")));
    const DownloadResult resumed = fetchBig(downloader, "other.bin");
    ASSERT_TRUE(resumed) << resumed.toString();
    EXPECT_EQ(readFile(target("other.bin")), m_big);
    EXPECT_EQ(resumed.resumedFrom, m_big.size() - 3 * mib);
    EXPECT_EQ(resumed.received, 3 * mib) << "only the missing bytes are kept from the server";
    asked = bigRequests();
    ASSERT_FALSE(asked.empty());
    for (const std::string& request : asked) {
        const std::size_t dash = request.find('-');
        ASSERT_TRUE(request.starts_with("bytes=") && dash != std::string::npos) << request;
        EXPECT_GE(std::stoull(request.substr(6, dash - 6)), mib) << request;
        EXPECT_LT(std::stoull(request.substr(dash + 1)), 4 * mib) << request;
    }

    // Pieces with the listed MD5 but another SHA-256 never take the target's name, nor stay to be gone on from.
    const DownloadResult planted = fetchBig(downloader, "planted.bin", std::string(64, 'a'));
    EXPECT_EQ(planted.error, DownloadError::ChecksumMismatch) << planted.toString();
    EXPECT_EQ(folderContents(), (std::vector<std::string>{"file.bin", "other.bin"}));
}

TEST_F(DownloaderTest, AServerThatIgnoresRangeGetsOneStreamAndAPartInPiecesStartsOver) {
    m_bigIgnoresRange = true;
    // A part in pieces from an earlier run: the server no longer serves ranges, so it cannot be gone on from.
    m_folder.write("file.bin.varnhold-partial", m_big.substr(0, 1024 * 1024));
    ASSERT_TRUE((ResumeRecord{
        url("/big"), md5Hex(m_big), "\"big\"", {{0, 1024 * 1024, 1024 * 1024}, {1024 * 1024, m_big.size(), 0}}}
                     .save(target())));
    DownloadOptions four;
    four.connections = 4;
    Downloader downloader(m_stop, four);
    const DownloadResult first = fetchBig(downloader);
    ASSERT_TRUE(first) << first.toString();
    EXPECT_EQ(readFile(target()), m_big);
    EXPECT_LE(bigRequests().size(), 6u);
    // Found out once: the next file from that address is one stream from the start.
    const DownloadResult second = fetchBig(downloader, "again.bin");
    ASSERT_TRUE(second) << second.toString();
    EXPECT_EQ(readFile(target("again.bin")), m_big);
    EXPECT_EQ(bigRequests(), std::vector<std::string>{"|"});
    EXPECT_EQ(folderContents(), (std::vector<std::string>{"again.bin", "file.bin"}));
}

TEST_F(DownloaderTest, OneDownloaderKeepsItsConnectionFromFileToFile) {
    constexpr int files = 4;
    Downloader downloader(m_stop);
    for (int i = 0; i < files; ++i) {
        ASSERT_TRUE(downloader.fetch(DownloadRequest{url("/body"), target(), false, {}, {}}));
        EXPECT_EQ(downloader.fetch(DownloadRequest{url("/missing"), target(), false, {}, {}}).httpStatus, 404);
    }
    EXPECT_EQ(connectionsAfter(2 * files), 1u);
    for (int i = 0; i < files; ++i) {
        ASSERT_TRUE(DownloadToFile(url("/body"), target(), m_stop));
    }
    EXPECT_EQ(connectionsAfter(3 * files), 1u + files) << "a one-off download has a connection of its own";
}

} // namespace
