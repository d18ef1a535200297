// The download of a newer launcher against a real local server: resumed after a cut, taken only at the listed size
// and SHA-256, a server that sends too much cut off, a whole earlier download taken as it is, and a stop that keeps
// the part for the next start, the file worker's clean-up included.
#include "sync/Launcher.hpp"

#include "platform/Crypto.hpp"
#include "platform/PartFile.hpp"

#include "support/LocalServer.hpp"
#include "support/TempFolder.hpp"

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing_support::LocalServer;
using testing_support::readFile;
using testing_support::TempFolder;
using testing_support::writeFile;

namespace {

constexpr auto downloadTimeout = 10s;
constexpr std::size_t programSize = 300 * 1024; // above the size from which partial files are kept
constexpr std::size_t firstAnswerCut = 64 * 1024;
constexpr std::size_t servedBlock = 16 * 1024;

std::string sha256Of(const std::string& bytes) {
    platform::Sha256Digest digest;
    static_cast<void>(digest.update(bytes.data(), bytes.size()));
    return digest.hex();
}

class ProgramDownloadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_folder.path().empty());
        for (std::size_t i = 0; i < programSize; ++i)
            m_program += static_cast<char>('A' + i * 7 % 26);
        // The library would slice bodies by Range itself; the handler answers Range as a file server does.
        m_server.server().set_pre_routing_handler([](const httplib::Request& req, httplib::Response&) {
            const_cast<httplib::Request&>(req).ranges.clear();
            return httplib::Server::HandlerResponse::Unhandled;
        });
        m_server.server().Get("/launcher", [this](const httplib::Request& req, httplib::Response& res) {
            std::size_t first = 0;
            std::string body;
            std::size_t cutAt = std::string::npos;
            {
                const std::lock_guard lock(m_mutex);
                m_ranges.push_back(req.get_header_value("Range"));
                res.set_header("ETag", "\"v4\"");
                if (req.has_header("Range") && req.get_header_value("If-Range") == "\"v4\"") {
                    first = std::stoul(req.get_header_value("Range").substr(6));
                    res.status = 206;
                    res.set_header("Content-Range", "bytes " + std::to_string(first) + "-" +
                                                        std::to_string(m_served.size() - 1) + "/" +
                                                        std::to_string(m_served.size()));
                }
                body = m_served.substr(first);
                if (m_ranges.size() == 1)
                    cutAt = m_firstCut;
            }
            res.set_content_provider(body.size(), "application/octet-stream",
                                     [this, body, cutAt](size_t offset, size_t, httplib::DataSink& sink) {
                                         if (offset >= std::min(body.size(), cutAt) || m_release)
                                             return false;
                                         if (m_slow)
                                             std::this_thread::sleep_for(20ms);
                                         m_sentUpTo = std::max<std::size_t>(m_sentUpTo, offset);
                                         return sink.write(body.data() + offset,
                                                           std::min(body.size() - offset, servedBlock));
                                     });
        });
        ASSERT_TRUE(m_server.start());
        m_launcher.setRetryDelays(10ms, 10ms);
    }

    void TearDown() override {
        m_release = true;
        m_launcher.stopWorkers();
        m_server.stop();
    }

    ProgramRelease release() const { return {m_server.base() + "launcher", programSize, sha256Of(m_program)}; }
    std::string target() const { return (m_folder.path() / "varnhold-launcher.new").string(); }

    // Runs the update worker to its end with the output captured into `m_printed`.
    ProgramDownload download(const ProgramRelease& program) {
        testing::internal::CaptureStdout();
        m_launcher.startProgramDownload(program, target());
        const auto deadline = std::chrono::steady_clock::now() + downloadTimeout;
        while (m_launcher.programDownload() == ProgramDownload::Running && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(5ms);
        m_launcher.stopProgramDownload();
        m_printed = testing::internal::GetCapturedStdout();
        return m_launcher.programDownload();
    }

    std::vector<std::string> ranges() {
        const std::lock_guard lock(m_mutex);
        return m_ranges;
    }

    TempFolder m_folder;
    LocalServer m_server;
    Launcher m_launcher{m_folder.path().string()};
    std::string m_program;
    std::mutex m_mutex; // guards what the handler reads and records, on the server's threads
    std::string m_served;
    std::size_t m_firstCut = std::string::npos;
    std::vector<std::string> m_ranges;
    std::atomic<std::size_t> m_sentUpTo{0};
    std::atomic<bool> m_slow{false};
    std::atomic<bool> m_release{false};
    std::string m_printed;
};

TEST_F(ProgramDownloadTest, ACutDownloadGoesOnFromWhereItStopped) {
    m_served = m_program;
    m_firstCut = firstAnswerCut;
    ASSERT_EQ(download(release()), ProgramDownload::Ready) << m_printed;
    EXPECT_EQ(readFile(target()), m_program);
    const std::vector<std::string> asked = ranges();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1], "bytes=" + std::to_string(firstAnswerCut) + "-");
    EXPECT_FALSE(fs::exists(platform::PartFile::resumePath(target())));
    EXPECT_EQ(m_launcher.downloadProgress().bytesDone, programSize);
}

TEST_F(ProgramDownloadTest, AFileThatIsNotTheListedOneIsNeitherTakenNorKept) {
    struct Case {
        const char* what;
        std::string served;
        ProgramRelease listed;
        const char* line;
    };
    ProgramRelease smaller = release();
    smaller.size = programSize / 2;
    ProgramRelease wrongDigest = release();
    wrongDigest.sha256 = sha256Of("another build");
    const Case cases[] = {
        {"another build's bytes", m_program, wrongDigest, "Launcher update: SHA-256 of "},
        {"more than listed", m_program + m_program + m_program, smaller, "bytes, the list says 153600"},
        {"fewer than listed", m_program.substr(0, programSize - 1), release(), "bytes, the server lists 307200"},
    };
    for (const Case& c : cases) {
        {
            const std::lock_guard lock(m_mutex);
            m_served = c.served;
            m_ranges.clear();
        }
        Launcher launcher(m_folder.path().string());
        launcher.setRetryDelays(10ms, 10ms);
        testing::internal::CaptureStdout();
        launcher.startProgramDownload(c.listed, target());
        const auto deadline = std::chrono::steady_clock::now() + downloadTimeout;
        while (launcher.programDownload() == ProgramDownload::Running && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(5ms);
        launcher.stopProgramDownload();
        const std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_EQ(launcher.programDownload(), ProgramDownload::Failed) << c.what;
        EXPECT_NE(printed.find(c.line), std::string::npos) << c.what << ": " << printed;
        EXPECT_TRUE(fs::is_empty(m_folder.path())) << c.what << ": nothing of it stays";
    }
}

TEST_F(ProgramDownloadTest, AWholeEarlierDownloadIsTakenAndAStopKeepsThePart) {
    writeFile(target(), m_program);
    ASSERT_EQ(download(release()), ProgramDownload::Ready) << m_printed;
    EXPECT_TRUE(ranges().empty()) << "nothing asked of the server";

    fs::remove(target());
    m_served = m_program;
    m_slow = true;
    testing::internal::CaptureStdout();
    m_launcher.startProgramDownload(release(), target());
    const auto deadline = std::chrono::steady_clock::now() + downloadTimeout;
    while (m_sentUpTo.load() == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
    m_launcher.stopProgramDownload();
    static_cast<void>(testing::internal::GetCapturedStdout());
    EXPECT_EQ(m_launcher.programDownload(), ProgramDownload::Stopped);
    EXPECT_FALSE(fs::exists(target()));
    // The old launcher goes on after a stopped update: its file worker, which removes the partial files of entries
    // no longer listed, keeps this one.
    m_launcher.startFileSync({});
    EXPECT_TRUE(m_launcher.waitUntilAllDone(downloadTimeout));
    EXPECT_TRUE(fs::exists(platform::PartFile::resumePath(target()))) << "the part stays for the next start";
}

} // namespace
