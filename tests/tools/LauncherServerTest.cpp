// The bundled launcher server, in-process and as the real binary: document, files, ranges, safety, memory.
#include "tools/server/LauncherServer.hpp"
#include "tools/server/ByteRange.hpp"
#include "tools/server/ServerOptions.hpp"

#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t largeFileBytes = 200ull * 1024 * 1024;
constexpr long maxGrowthKiB = 64 * 1024; // far below the 200 MiB file, far above buffers and thread stacks
constexpr int binaryStartTimeoutMs = 10000;
constexpr int binaryExitTimeoutMs = 10000;

void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string randomBytes(std::size_t count, unsigned seed) {
    std::mt19937 generator(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string bytes(count, '\0');
    for (char& c : bytes)
        c = static_cast<char>(byte(generator));
    return bytes;
}

// Reads "VmRSS:" or "VmHWM:" of this process, in KiB.
long procStatusKiB(const std::string& key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key + ":", 0) == 0)
            return std::stol(line.substr(key.size() + 1));
    }
    return -1;
}

class TempDir {
public:
    TempDir() {
        static int counter = 0;
        m_path = fs::temp_directory_path() /
                 ("varnhold-server-test-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
        fs::create_directories(m_path);
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    [[nodiscard]] const fs::path& path() const { return m_path; }

private:
    fs::path m_path;
};

// A bare TCP connection, for requests no HTTP client library would send.
class RawConnection {
public:
    explicit RawConnection(int port) : m_fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_connected = ::connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    ~RawConnection() { ::close(m_fd); }
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    // MSG_NOSIGNAL: a server that closed the connection must fail the send, not kill the test with SIGPIPE.
    [[nodiscard]] bool send(const std::string& bytes) {
        return m_connected &&
               ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    }
    // True when the peer has closed the connection (with nothing more to read), looking for up to `timeout`.
    [[nodiscard]] bool closedByPeer(std::chrono::milliseconds timeout) {
        pollfd waitFor{m_fd, POLLIN, 0};
        char byte = 0;
        return ::poll(&waitFor, 1, static_cast<int>(timeout.count())) > 0 && ::recv(m_fd, &byte, 1, 0) <= 0;
    }
    // Reads until `until` shows up, the peer closes, or the time runs out.
    [[nodiscard]] std::string receive(const std::string& until, std::chrono::milliseconds timeout) {
        std::string got;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (got.find(until) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
            pollfd waitFor{m_fd, POLLIN, 0};
            if (::poll(&waitFor, 1, 50) <= 0)
                continue;
            char block[4096];
            const ssize_t n = ::read(m_fd, block, sizeof block);
            if (n <= 0)
                break;
            got.append(block, static_cast<std::size_t>(n));
        }
        return got;
    }

private:
    int m_fd;
    bool m_connected = false;
};

class LauncherServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_document = m_temp.path() / "server.json";
        m_files = m_temp.path() / "files";
        fs::create_directories(m_files / "Data" / "sub dir");
        writeFile(m_document, R"({"lang":"fa","version":3})");
        writeFile(m_temp.path() / "secret.txt", "outside-secret");
    }

    void startServer(ServerOptions options = {}) {
        options.port = 0;
        options.quiet = true;
        options.documentPath = m_document.string();
        options.filesDir = m_files.string();
        m_server = std::make_unique<LauncherServer>(options);
        ASSERT_TRUE(m_server->start()) << m_server->startError();
        ASSERT_GT(m_server->port(), 0);
    }

    void TearDown() override {
        if (m_server)
            m_server->stop();
    }

    [[nodiscard]] httplib::Client client() const {
        httplib::Client c("127.0.0.1", m_server->port());
        c.set_url_encode(false); // paths go out exactly as written, escapes and all
        return c;
    }

    TempDir m_temp;
    fs::path m_document;
    fs::path m_files;
    std::unique_ptr<LauncherServer> m_server;
};

TEST_F(LauncherServerTest, AnswersTheDocumentAndReReadsItAtEachRequest) {
    startServer();
    auto c = client();
    std::mt19937 generator(std::random_device{}());
    const std::string query = std::to_string(std::uniform_int_distribution<int>(0, 32767)(generator));

    auto post = c.Post(("/get_data.php?" + query).c_str(), "", "application/x-www-form-urlencoded");
    ASSERT_TRUE(post) << httplib::to_string(post.error());
    EXPECT_EQ(post->status, 200);
    EXPECT_EQ(post->body, R"({"lang":"fa","version":3})");
    EXPECT_EQ(post->get_header_value("Content-Type"), "application/json");

    auto get = c.Get(("/get_data.php?" + query).c_str());
    ASSERT_TRUE(get);
    EXPECT_EQ(get->status, 200);
    EXPECT_EQ(get->body, R"({"lang":"fa","version":3})");

    // An admin edits the document while the server runs: the next request sees it, bytes as they are.
    const std::string edited = "{\"announce\":\"Sal\xc3\xa2m\",\n \"files\":[]}\n";
    writeFile(m_document, edited);
    auto afterEdit = c.Post("/get_data.php?7", "", "application/x-www-form-urlencoded");
    ASSERT_TRUE(afterEdit);
    EXPECT_EQ(afterEdit->body, edited);

    // A POST that declares no body at all ("curl -X POST") is answered at once, not after a read time-out.
    const std::string bare = "POST /get_data.php?11 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    RawConnection raw(m_server->port());
    const auto bareStarted = std::chrono::steady_clock::now();
    ASSERT_TRUE(raw.send(bare));
    const std::string bareReply = raw.receive("\"files\":[]}\n", std::chrono::seconds(4));
    EXPECT_LT(std::chrono::steady_clock::now() - bareStarted, std::chrono::seconds(1));
    EXPECT_EQ(bareReply.rfind("HTTP/1.1 200", 0), 0u) << bareReply;
    EXPECT_NE(bareReply.find(edited), std::string::npos) << bareReply;

    // Form fields in the body are read and dropped; the same connection then carries the next request.
    httplib::Client keepAlive("127.0.0.1", m_server->port());
    keepAlive.set_keep_alive(true);
    auto withFields = keepAlive.Post("/get_data.php?12", "player=1&realm=2", "application/x-www-form-urlencoded");
    ASSERT_TRUE(withFields);
    EXPECT_EQ(withFields->body, edited);
    auto next = keepAlive.Get("/get_data.php?13");
    ASSERT_TRUE(next);
    EXPECT_EQ(next->body, edited);

    fs::remove(m_document);
    auto missing = c.Post("/get_data.php?8", "", "application/x-www-form-urlencoded");
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->status, 500);
    EXPECT_FALSE(missing->body.empty());

    fs::create_directories(m_document); // a folder in its place cannot be read either
    auto folder = c.Get("/get_data.php?9");
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder->status, 500);

    auto elsewhere = c.Get("/other.php");
    ASSERT_TRUE(elsewhere);
    EXPECT_EQ(elsewhere->status, 404);
}

TEST_F(LauncherServerTest, ServesTheSignatureBesideTheDocument) {
    startServer();
    auto c = client();
    auto none = c.Get("/get_data.php.minisig?5");
    ASSERT_TRUE(none);
    EXPECT_EQ(none->status, 404) << "no signature yet";
    const std::string signature = "untrusted comment: signature\nRUQ...\ntrusted comment: serial=1\nabc\n";
    writeFile(m_document.string() + ".minisig", signature);
    auto found = c.Get("/get_data.php.minisig?5");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->status, 200);
    EXPECT_EQ(found->body, signature);

    m_server->stop();
    ServerOptions elsewhere;
    elsewhere.signaturePath = (m_temp.path() / "other.sig").string();
    writeFile(elsewhere.signaturePath, "other");
    startServer(elsewhere);
    auto other = client().Get("/get_data.php.minisig");
    ASSERT_TRUE(other);
    EXPECT_EQ(other->body, "other");
}

TEST_F(LauncherServerTest, ServesFilesByteExactWithTheirLength) {
    const std::string binary = randomBytes(3 * 1024 * 1024 + 17, 1);
    writeFile(m_files / "Data" / "patch-4.MPQ", binary);
    writeFile(m_files / "Data" / "sub dir" / "my file+1.txt", "spaced name");
    writeFile(m_files / "empty.bin", "");
    startServer();
    auto c = client();

    auto whole = c.Get("/files/Data/patch-4.MPQ?31337");
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->status, 200);
    EXPECT_EQ(whole->get_header_value("Content-Length"), std::to_string(binary.size()));
    EXPECT_TRUE(whole->body == binary) << "body differs, " << whole->body.size() << " bytes";

    auto head = c.Head("/files/Data/patch-4.MPQ");
    ASSERT_TRUE(head);
    EXPECT_EQ(head->status, 200);
    EXPECT_EQ(head->get_header_value("Content-Length"), std::to_string(binary.size()));
    EXPECT_TRUE(head->body.empty());

    auto encoded = c.Get("/files/Data/sub%20dir/my%20file%2B1.txt");
    ASSERT_TRUE(encoded);
    EXPECT_EQ(encoded->status, 200);
    EXPECT_EQ(encoded->body, "spaced name");

    auto empty = c.Get("/files/empty.bin");
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->status, 200);
    EXPECT_EQ(empty->get_header_value("Content-Length"), "0");

    for (const char* path :
         {"/files/Data/nothing.MPQ", "/files/Data", "/files/Data/", "/files/", "/Data/patch-4.MPQ"}) {
        auto absent = c.Get(path);
        ASSERT_TRUE(absent) << path;
        EXPECT_EQ(absent->status, 404) << path;
    }
}

TEST_F(LauncherServerTest, AnswersSingleRangesAndRefusesUnsatisfiableOnes) {
    std::string hundred;
    for (int i = 0; i < 100; ++i)
        hundred += static_cast<char>('A' + i % 26);
    writeFile(m_files / "hundred.bin", hundred);
    writeFile(m_files / "empty.bin", "");
    startServer();
    auto c = client();

    struct Case {
        const char* range;
        int status;
        const char* contentRange;
        std::string body;
    };
    const std::vector<Case> cases = {
        {"bytes=10-19", 206, "bytes 10-19/100", hundred.substr(10, 10)},
        {"bytes=90-", 206, "bytes 90-99/100", hundred.substr(90)},
        {"bytes=-5", 206, "bytes 95-99/100", hundred.substr(95)},
        {"bytes=0-0", 206, "bytes 0-0/100", hundred.substr(0, 1)},
        // An end past the file is cut to the file, never read beyond it.
        {"bytes=50-500", 206, "bytes 50-99/100", hundred.substr(50)},
        {"bytes=-500", 206, "bytes 0-99/100", hundred},
        {"bytes=100-", 416, "bytes */100", ""},
        {"bytes=-0", 416, "bytes */100", ""},
        // Several ranges are answered with the whole file, which a client must accept.
        {"bytes=0-1,5-6", 200, "", hundred},
    };
    for (const Case& test : cases) {
        auto res = c.Get("/files/hundred.bin", {{"Range", test.range}});
        ASSERT_TRUE(res) << test.range;
        EXPECT_EQ(res->status, test.status) << test.range;
        EXPECT_EQ(res->get_header_value("Content-Range"), test.contentRange) << test.range;
        if (test.status != 416) {
            EXPECT_EQ(res->body, test.body) << test.range;
            EXPECT_EQ(res->get_header_value("Content-Length"), std::to_string(test.body.size())) << test.range;
        }
    }

    auto headRange = c.Head("/files/hundred.bin", {{"Range", "bytes=10-19"}});
    ASSERT_TRUE(headRange);
    EXPECT_EQ(headRange->status, 206);
    EXPECT_EQ(headRange->get_header_value("Content-Length"), "10");

    auto emptyRange = c.Get("/files/empty.bin", {{"Range", "bytes=0-"}});
    ASSERT_TRUE(emptyRange);
    EXPECT_EQ(emptyRange->status, 416);
    EXPECT_EQ(emptyRange->get_header_value("Content-Range"), "bytes */0");

    // A Range on an error page leaves the page whole.
    auto missing = c.Get("/files/none.bin", {{"Range", "bytes=2-4"}});
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->status, 404);
    EXPECT_EQ(missing->body, "Not found\n");
    EXPECT_EQ(missing->get_header_value("Content-Range"), "");
}

TEST_F(LauncherServerTest, NamesEachFileVersionAndSendsAChangedFileWholeDespiteARange) {
    const std::string hundred = randomBytes(100, 7);
    writeFile(m_files / "v.bin", hundred);
    startServer();
    auto c = client();
    auto first = c.Get("/files/v.bin");
    ASSERT_TRUE(first);
    const std::string etag = first->get_header_value("ETag");
    const std::string lastModified = first->get_header_value("Last-Modified");
    EXPECT_EQ(etag.front(), '"') << etag;
    EXPECT_NE(lastModified.find(" GMT"), std::string::npos) << lastModified;

    // Either validator keeps the range; anything else gets the whole file.
    for (const auto& [ifRange, status] : std::vector<std::pair<std::string, int>>{
             {etag, 206}, {lastModified, 206}, {"\"other\"", 200}, {"Thu, 01 Jan 1970 00:00:00 GMT", 200}}) {
        auto res = c.Get("/files/v.bin", {{"Range", "bytes=90-"}, {"If-Range", ifRange}});
        ASSERT_TRUE(res) << ifRange;
        EXPECT_EQ(res->status, status) << ifRange;
        EXPECT_EQ(res->body, status == 206 ? hundred.substr(90) : hundred) << ifRange;
    }

    // Same size, new bytes, new time: a new ETag, so a resumed range cannot mix the two.
    writeFile(m_files / "v.bin", randomBytes(100, 8));
    fs::last_write_time(m_files / "v.bin", fs::last_write_time(m_files / "v.bin") + std::chrono::seconds(2));
    auto changed = c.Get("/files/v.bin", {{"Range", "bytes=90-"}, {"If-Range", etag}});
    ASSERT_TRUE(changed);
    EXPECT_EQ(changed->status, 200);
    EXPECT_NE(changed->get_header_value("ETag"), etag);
}

TEST_F(LauncherServerTest, KeepsAConnectionAliveForHundredsOfRequestsWithoutStalling) {
    writeFile(m_files / "small.bin", randomBytes(32 * 1024, 9));
    startServer();
    auto c = client();
    c.set_keep_alive(true);
    constexpr int requests = 300;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < requests; ++i) {
        auto res = c.Get("/files/small.bin");
        ASSERT_TRUE(res) << i;
        ASSERT_EQ(res->status, 200) << i;
    }
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(m_server->connectionCount(), 1u);
    // A delayed acknowledgement held up each answer by 40 ms: 12 s for these. Unstalled they take milliseconds.
    EXPECT_LT(took, std::chrono::seconds(6));
}

TEST_F(LauncherServerTest, KeepsUpWithSixteenKeptAliveConnections) {
    writeFile(m_files / "small.bin", randomBytes(32 * 1024, 9));
    startServer();
    constexpr int connections = 16;
    constexpr int rounds = 3;
    std::vector<std::unique_ptr<httplib::Client>> clients;
    for (int i = 0; i < connections; ++i) {
        clients.push_back(std::make_unique<httplib::Client>("127.0.0.1", m_server->port()));
        clients.back()->set_keep_alive(true);
    }
    // Each connection in turn, none left idle for long: a server with a worker short keeps the later connections
    // waiting until an earlier one has idled out, a second or more each.
    const auto start = std::chrono::steady_clock::now();
    for (int round = 0; round < rounds; ++round) {
        for (int i = 0; i < connections; ++i) {
            auto res = clients[static_cast<std::size_t>(i)]->Get("/files/small.bin");
            ASSERT_TRUE(res) << "connection " << i << ", round " << round;
            ASSERT_EQ(res->status, 200);
        }
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(m_server->connectionCount(), static_cast<std::uint64_t>(connections));
}

TEST_F(LauncherServerTest, RefusesEveryPathThatLeavesTheFolder) {
    writeFile(m_files / "Data" / "inside.txt", "inside");
    fs::create_symlink(m_temp.path() / "secret.txt", m_files / "link-out.txt");
    fs::create_directory_symlink(m_temp.path(), m_files / "dir-out");
    fs::create_symlink(m_files / "Data" / "inside.txt", m_files / "link-in.txt");
    startServer();
    auto c = client();

    const std::vector<std::string> attempts = {
        "/files/../secret.txt",
        "/files/Data/../../secret.txt",
        "/files/%2e%2e/secret.txt",
        "/files/%2E%2E%2Fsecret.txt",
        "/files/Data/%2e%2e%2f%2e%2e%2fsecret.txt",
        "/files/..%5Csecret.txt",
        "/files/Data\\..\\..\\secret.txt",
        "/files//" + (m_temp.path() / "secret.txt").string().substr(1),
        "/files/%2F" + (m_temp.path() / "secret.txt").string().substr(1),
        "/files/link-out.txt",
        "/files/dir-out/secret.txt",
        "/files/Data/inside.txt%00.png",
        "/files/./Data/inside.txt",
    };
    for (const std::string& path : attempts) {
        auto res = c.Get(path.c_str());
        ASSERT_TRUE(res) << path;
        EXPECT_TRUE(res->status == 403 || res->status == 404) << path << " gave " << res->status;
        EXPECT_EQ(res->body.find("outside-secret"), std::string::npos) << path;
    }

    // What stays inside still works, through a link too.
    for (const char* path : {"/files/Data/inside.txt", "/files/link-in.txt"}) {
        auto res = c.Get(path);
        ASSERT_TRUE(res) << path;
        EXPECT_EQ(res->status, 200) << path;
        EXPECT_EQ(res->body, "inside") << path;
    }
}

TEST_F(LauncherServerTest, StreamsALargeFileWithoutHoldingItInMemory) {
    // Sparse: 200 MiB on the wire, almost nothing on disk. Markers check that the right bytes arrive in order.
    const fs::path large = m_files / "large.bin";
    { std::ofstream create(large, std::ios::binary); }
    fs::resize_file(large, largeFileBytes);
    const std::vector<std::pair<std::uint64_t, char>> markers = {
        {0, 'S'}, {largeFileBytes / 2 + 12345, 'M'}, {largeFileBytes - 1, 'E'}};
    {
        std::fstream patch(large, std::ios::binary | std::ios::in | std::ios::out);
        for (const auto& [offset, value] : markers) {
            patch.seekp(static_cast<std::streamoff>(offset));
            patch.put(value);
        }
    }
    startServer();
    auto c = client();

    {
        std::ofstream resetPeak("/proc/self/clear_refs");
        resetPeak << "5"; // restarts VmHWM from the current RSS, so the peak below belongs to this download
    }
    const long rssBefore = procStatusKiB("VmRSS");
    const long peakBefore = procStatusKiB("VmHWM");
    ASSERT_GT(rssBefore, 0);

    std::uint64_t received = 0;
    std::uint64_t nonZero = 0;
    bool markersInPlace = true;
    auto res = c.Get("/files/large.bin", [&](const char* data, std::size_t length) {
        for (std::size_t i = 0; i < length; ++i) {
            if (data[i] != 0) {
                ++nonZero;
                const auto at = received + i;
                const bool expected = std::any_of(markers.begin(), markers.end(),
                                                  [&](const auto& m) { return m.first == at && m.second == data[i]; });
                markersInPlace = markersInPlace && expected;
            }
        }
        received += length;
        return true;
    });
    ASSERT_TRUE(res) << httplib::to_string(res.error());
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(received, largeFileBytes);
    EXPECT_EQ(nonZero, markers.size());
    EXPECT_TRUE(markersInPlace);

    const long rssAfter = procStatusKiB("VmRSS");
    const long peakAfter = procStatusKiB("VmHWM");
    std::printf("RSS before %ld KiB, after %ld KiB, peak during %ld KiB (peak before %ld KiB)\n", rssBefore, rssAfter,
                peakAfter, peakBefore);
    EXPECT_LT(rssAfter - rssBefore, maxGrowthKiB);
    EXPECT_LT(peakAfter - rssBefore, maxGrowthKiB);

    // The tail through a range comes from the same stream.
    auto tail = c.Get("/files/large.bin", {{"Range", "bytes=-2"}});
    ASSERT_TRUE(tail);
    EXPECT_EQ(tail->status, 206);
    EXPECT_EQ(tail->body, std::string("\0E", 2));
}

TEST_F(LauncherServerTest, ThrottlesAndDelaysFilesButStopsAtOnce) {
    constexpr int rateKiBps = 512;
    constexpr int delayMs = 300;
    const std::string quarter = randomBytes(256 * 1024, 2);
    writeFile(m_files / "quarter.bin", quarter);
    writeFile(m_files / "big.bin", randomBytes(8 * 1024 * 1024, 3));
    ServerOptions options;
    options.rateKiBps = rateKiBps;
    options.delayMs = delayMs;
    startServer(options);

    // 256 KiB at 512 KiB/s is about half a second of body after the delay; loopback alone takes milliseconds.
    const auto started = std::chrono::steady_clock::now();
    auto res = client().Get("/files/quarter.bin");
    const auto elapsed = std::chrono::steady_clock::now() - started;
    ASSERT_TRUE(res);
    EXPECT_TRUE(res->body == quarter);
    EXPECT_GE(elapsed, std::chrono::milliseconds(delayMs + 400));
    EXPECT_LT(elapsed, std::chrono::milliseconds(delayMs + 3000));

    // The document is not throttled or delayed.
    const auto documentStarted = std::chrono::steady_clock::now();
    auto document = client().Get("/get_data.php?1");
    ASSERT_TRUE(document);
    EXPECT_LT(std::chrono::steady_clock::now() - documentStarted, std::chrono::milliseconds(delayMs));

    // An 8 MiB body would take 16 s at this rate: stop() must cut it instead of waiting for it.
    std::thread slowDownload([this] {
        auto slow = client().Get("/files/big.bin");
        EXPECT_TRUE(!slow || slow->body.size() < 8u * 1024 * 1024);
    });
    // An idle keep-alive connection must not hold up the stop either.
    RawConnection idle(m_server->port());
    ASSERT_TRUE(idle.send("GET /get_data.php?2 HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: keep-alive\r\n\r\n"));
    EXPECT_EQ(idle.receive("\"version\":3}", std::chrono::seconds(2)).rfind("HTTP/1.1 200", 0), 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs + 300));
    const auto stopStarted = std::chrono::steady_clock::now();
    m_server->stop();
    const auto stopTook = std::chrono::steady_clock::now() - stopStarted;
    slowDownload.join();
    EXPECT_LT(stopTook, std::chrono::seconds(2));
    EXPECT_FALSE(m_server->isRunning());
}

// Headers the HTTP library already turns away with its own 416 never reach the server; the reader still has to be
// right about them on its own.
TEST(ByteRangeTest, ReadsHeadersTheLibraryLetsThroughAndThoseItDoesNot) {
    using Kind = ByteRange::Kind;
    struct Case {
        const char* header;
        std::uint64_t size;
        Kind kind;
        std::uint64_t first;
        std::uint64_t last;
    };
    const std::vector<Case> cases = {
        {" Bytes=2-4 ", 10, Kind::Partial, 2, 4},
        {"bytes=18446744073709551615-", 10, Kind::Unsatisfiable, 0, 0},
        {"bytes=99999999999999999999999-", 10, Kind::Unsatisfiable, 0, 0},
        {"bytes=0-99999999999999999999999", 10, Kind::Partial, 0, 9},
        {"bytes=-99999999999999999999999", 10, Kind::Partial, 0, 9},
        {"bytes=5-2", 10, Kind::Whole, 0, 0},
        {"items=0-5", 10, Kind::Whole, 0, 0},
        {"bytes=x-5", 10, Kind::Whole, 0, 0},
        {"bytes=5", 10, Kind::Whole, 0, 0},
        {"bytes=-", 10, Kind::Whole, 0, 0},
        {"bytes=0-0,2-3", 10, Kind::Whole, 0, 0},
        {"bytes=-1", 0, Kind::Unsatisfiable, 0, 0},
    };
    for (const Case& test : cases) {
        const ByteRange range = parseByteRange(test.header, test.size);
        EXPECT_EQ(range.kind, test.kind) << test.header;
        if (test.kind == Kind::Partial) {
            EXPECT_EQ(range.first, test.first) << test.header;
            EXPECT_EQ(range.last, test.last) << test.header;
        }
    }
}

TEST(ServerOptionsTest, ReadsEveryOptionAndRejectsNonsense) {
    const ParsedOptions defaults = parseServerOptions({"--document", "doc.json"});
    ASSERT_EQ(defaults.action, ParsedOptions::Action::Run) << defaults.message;
    EXPECT_EQ(defaults.options.bindAddress, "127.0.0.1");
    EXPECT_EQ(defaults.options.port, 8642);
    EXPECT_EQ(defaults.options.filesPrefix, "/files/");
    EXPECT_FALSE(defaults.options.quiet);

    const ParsedOptions all =
        parseServerOptions({"--document=d.json", "--files", "game", "--prefix", "dl", "--bind", "0.0.0.0", "--port",
                            "0", "--delay-ms", "250", "--rate=64", "--quiet", "--signature", "d.sig"});
    ASSERT_EQ(all.action, ParsedOptions::Action::Run) << all.message;
    EXPECT_EQ(all.options.documentPath, "d.json");
    EXPECT_EQ(all.options.filesDir, "game");
    EXPECT_EQ(all.options.filesPrefix, "/dl/");
    EXPECT_EQ(all.options.bindAddress, "0.0.0.0");
    EXPECT_EQ(all.options.port, 0);
    EXPECT_EQ(all.options.delayMs, 250);
    EXPECT_EQ(all.options.rateKiBps, 64);
    EXPECT_TRUE(all.options.quiet);
    EXPECT_EQ(all.options.signaturePath, "d.sig");

    EXPECT_EQ(parseServerOptions({"--help"}).action, ParsedOptions::Action::Help);
    const std::vector<std::vector<std::string>> wrong = {
        {},
        {"--document"},
        {"--document", "d", "--port", "65536"},
        {"--document", "d", "--port", "-1"},
        {"--document", "d", "--port", "80x"},
        {"--document", "d", "--rate", "fast"},
        {"--document", "d", "--delay-ms", ""},
        {"--document", "d", "--verbose"},
        {"--document", "d", "extra"},
        {"--document", "d", "--quiet=yes"},
        {"--document", "d", "--signature", ""},
    };
    for (const auto& args : wrong) {
        const ParsedOptions parsed = parseServerOptions(args);
        EXPECT_EQ(parsed.action, ParsedOptions::Action::Error) << ::testing::PrintToString(args);
        EXPECT_FALSE(parsed.message.empty());
    }

    const std::string usage = serverUsage();
    for (const char* option : {"--document", "--signature", "--files", "--prefix", "--bind", "--port", "--delay-ms",
                               "--rate", "--quiet", "--help", "Example"})
        EXPECT_NE(usage.find(option), std::string::npos) << option;
}

TEST_F(LauncherServerTest, CapsARequestHeadAndDropsOneThatTricklesIn) {
    using namespace std::chrono_literals;
    ServerOptions options;
    options.headTimeMs = 1000;
    startServer(options);

    // A header line without end: answered 431 once past the cap, not read on into memory.
    RawConnection endless(m_server->port());
    ASSERT_TRUE(endless.send("GET /get_data.php HTTP/1.1\r\nHost: x\r\nX-Long: " + std::string(64 * 1024, 'a')));
    const std::string answer = endless.receive("\r\n\r\n", 3s);
    EXPECT_EQ(answer.rfind("HTTP/1.1 431 ", 0), 0u) << answer;

    // A head that trickles in, a byte at a time, is dropped once its time is up.
    RawConnection slow(m_server->port());
    ASSERT_TRUE(slow.send("GET /get_data.php HTTP/1.1\r\nX-Slow: "));
    const auto start = std::chrono::steady_clock::now();
    bool closed = false;
    while (!closed && std::chrono::steady_clock::now() - start < 4s)
        closed = !slow.send("a") || slow.closedByPeer(200ms);
    EXPECT_TRUE(closed) << "still open after 4 s";
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);

    // An honest request, with its body, still gets its answer.
    auto res = client().Post("/get_data.php?1", "x=1", "application/x-www-form-urlencoded");
    ASSERT_TRUE(res) << httplib::to_string(res.error());
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->body, R"({"lang":"fa","version":3})");
}

TEST_F(LauncherServerTest, RefusesToStartOnAFolderThatIsNotThere) {
    ServerOptions options;
    options.port = 0;
    options.quiet = true;
    options.documentPath = m_document.string();
    options.filesDir = (m_temp.path() / "no-such-folder").string();
    LauncherServer server(options);
    EXPECT_FALSE(server.start());
    EXPECT_FALSE(server.startError().empty());
    EXPECT_FALSE(server.isRunning());
}

// A restarted server gets its port back while the connections it closed wait out TIME_WAIT; a second server on a
// port that is still served must be refused, not share it.
TEST_F(LauncherServerTest, StartsAgainOnThePortItJustServedButNotOnABusyOne) {
    startServer();
    const int port = m_server->port();
    {
        RawConnection raw(port);
        ASSERT_TRUE(raw.send("GET /get_data.php?1 HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n"));
        ASSERT_NE(raw.receive("\"version\":3}", std::chrono::seconds(4)).find("200"), std::string::npos);
    }
    ServerOptions again;
    again.port = port;
    again.quiet = true;
    again.documentPath = m_document.string();
    LauncherServer second(again);
    EXPECT_FALSE(second.start()) << "two servers listen on port " << port;

    m_server->stop();
    m_server = std::make_unique<LauncherServer>(again);
    EXPECT_TRUE(m_server->start()) << m_server->startError();
}

// Runs the real program the way scripts do: port 0, port read from the first line, stopped with SIGTERM.
TEST_F(LauncherServerTest, BinaryReportsItsPortServesAndExitsCleanlyOnSigterm) {
    const std::string binary = VARNHOLD_BINARY_DIR "/tools/server/varnhold-server";
    ASSERT_TRUE(fs::exists(binary)) << binary;
    constexpr std::size_t slowSize = 8 << 20;
    writeFile(m_files / "Data" / "slow.bin", std::string(slowSize, 's'));

    int pipeFds[2];
    ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    const std::string document = m_document.string();
    const std::string files = m_files.string();
    std::vector<std::string> args = {binary, "--port", "0", "--document", document, "--files", files};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t child = -1;
    const int spawned = posix_spawn(&child, binary.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    ASSERT_EQ(spawned, 0);
    // Whatever fails below, the child must not outlive the test.
    struct ChildGuard {
        pid_t pid;
        int fd;
        ~ChildGuard() {
            if (pid > 0) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, nullptr, 0);
            }
            ::close(fd);
        }
    } guard{child, pipeFds[0]};

    std::string firstLine;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(binaryStartTimeoutMs);
    while (firstLine.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd waitFor{guard.fd, POLLIN, 0};
        if (::poll(&waitFor, 1, 100) <= 0)
            continue;
        char c = 0;
        if (::read(guard.fd, &c, 1) != 1)
            break;
        firstLine += c;
    }
    const std::string marker = "varnhold-server: listening on http://127.0.0.1:";
    ASSERT_EQ(firstLine.rfind(marker, 0), 0u) << "first line: " << firstLine;
    EXPECT_NE(firstLine.find("document=" + document), std::string::npos) << firstLine;
    EXPECT_NE(firstLine.find("under /files/"), std::string::npos) << firstLine;
    const int port = std::stoi(firstLine.substr(marker.size()));
    ASSERT_GT(port, 0);

    httplib::Client c("127.0.0.1", port);
    auto res = c.Post("/get_data.php?4242", "", "application/x-www-form-urlencoded");
    ASSERT_TRUE(res) << httplib::to_string(res.error());
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->body, R"({"lang":"fa","version":3})");

    // A download that a slow reader holds up while the server stops: the body ends between two blocks.
    std::atomic<std::size_t> received{0};
    std::atomic<bool> signalled{false};
    std::jthread reader([&] {
        httplib::Client slow("127.0.0.1", port);
        slow.Get("/files/Data/slow.bin", [&](const char*, std::size_t length) {
            received += length;
            if (!signalled)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            return true;
        });
    });
    const auto readDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (received < slowSize / 8 && std::chrono::steady_clock::now() < readDeadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_GE(received, slowSize / 8);

    ASSERT_EQ(::kill(child, SIGTERM), 0);
    signalled = true;
    int status = 0;
    pid_t waited = 0;
    const auto exitDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(binaryExitTimeoutMs);
    while ((waited = ::waitpid(child, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < exitDeadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(waited, child) << "the server did not exit after SIGTERM";
    guard.pid = -1;
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    // The request it served was logged after the start-up line.
    std::string rest;
    char block[512];
    ssize_t got = 0;
    while ((got = ::read(guard.fd, block, sizeof block)) > 0)
        rest.append(block, static_cast<std::size_t>(got));
    EXPECT_NE(rest.find("POST /get_data.php?4242 200"), std::string::npos) << rest;
    // Scripts add up the bytes served from these lines: the stopped body says how far it got.
    EXPECT_NE(rest.find("GET /files/Data/slow.bin cut after "), std::string::npos) << rest;
    EXPECT_LT(received, slowSize);
}

} // namespace
