// SyncFile and its helpers in a temporary game folder, fetching from a real local server.
#include "sync/FileSync.hpp"

#include "support/LocalServer.hpp"
#include "support/Md5Twins.hpp"
#include "support/TempFolder.hpp"

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <vector>

namespace {

using testing_support::CurrentFolderGuard;
using testing_support::LocalServer;
using testing_support::readFile;
using testing_support::TempFolder;

const std::string gameFile = "contents of a game file\n";
const std::string gameFileMd5 = "ba3675fd74ec02c3254a1efd20876b83";

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(SplitUrl, CutsAtTheFirstSlashAfterTheFirstDot) {
    struct Case {
        std::string address, base, path;
    };
    const Case cases[] = {
        {"http://files.example.com/data/patch-A.mpq", "http://files.example.com/", "data/patch-A.mpq"},
        {"http://127.0.0.1:8080/a/b.bin", "http://127.0.0.1:8080/", "a/b.bin"},
        // A host without a dot splits at the first dot of the path.
        {"http://localhost:8080/dir.d/file", "http://localhost:8080/dir.d/", "file"},
        {"http://localhost/file.bin", "http://localhost/file", ".bin"},
        {"http://localhost/", "http://localhost/", ""},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        const auto [base, path] = SplitUrl(c.address);
        EXPECT_EQ(base, c.base) << c.address;
        EXPECT_EQ(path, c.path) << c.address;
        EXPECT_EQ(base + path, c.address);
    }
}

class FileSyncTest : public testing::Test {
protected:
    void SetUp() override {
        m_server.server().Get(R"(/files/(.*))", [this](const httplib::Request& req, httplib::Response& res) {
            {
                const std::lock_guard lock(m_mutex);
                m_targets.push_back(req.target);
            }
            const std::string name = req.matches[1];
            if (name == "good.bin" || name == "sub/good.bin") {
                res.set_content(gameFile, "application/octet-stream");
            } else if (name == "planted.bin" || name == "genuine.bin") {
                res.set_content(name == "planted.bin" ? testing_support::plantedTwin : testing_support::genuineTwin,
                                "application/octet-stream");
            } else if (name == "wrong.bin") {
                res.set_content("not what the list says", "application/octet-stream");
            } else {
                res.status = 404;
            }
        });
        ASSERT_TRUE(m_server.start());
    }

    void TearDown() override { m_server.stop(); }

    std::string base() const { return m_server.base(); }
    // The launcher writes paths with "/" on every OS.
    std::string inFolder(const std::string& relative) const { return (m_folder.path() / relative).generic_string(); }

    std::vector<std::string> targets() {
        const std::lock_guard lock(m_mutex);
        return m_targets;
    }

    // Runs SyncFile with stdout captured; the printed lines come back in `printed`.
    bool sync(const std::string& path, const std::string& location, const std::string& checksum, std::string& fullPath,
              std::string& printed) {
        testing::internal::CaptureStdout();
        const bool ok = SyncFile(base(), path, location, checksum, fullPath, m_stop);
        printed = testing::internal::GetCapturedStdout();
        return ok;
    }

    TempFolder m_folder;
    CurrentFolderGuard m_inGameFolder{m_folder.path()};
    LocalServer m_server;
    std::mutex m_mutex; // guards m_targets, written on the server's threads
    std::vector<std::string> m_targets;
    StopFlag m_stop{false};
};

TEST_F(FileSyncTest, VerifyFileChecksOpenabilityThenChecksum) {
    m_folder.write("file.bin", gameFile);
    std::filesystem::create_directory(inFolder("folder"));
    const struct {
        std::string path, checksum;
        bool ok;
        std::string printed;
    } cases[] = {
        {inFolder("absent.bin"), gameFileMd5, false, ""},
        {inFolder("absent.bin"), "", false, ""},
        {inFolder("file.bin"), "", true, "MD5 is empty !\n"},
        {inFolder("folder"), "", false, ""},
        {inFolder("file.bin"), gameFileMd5, true,
         "Calc MD5 !\nMD5 hash of file " + inFolder("file.bin") + " is: " + gameFileMd5 +
             "\nServer MD5: " + gameFileMd5 + "!\nClient MD5: " + gameFileMd5 + "!\nMD5 Valid !\n"},
        // Compared as exact bytes: the upper-case spelling of the right digest is a mismatch.
        {inFolder("file.bin"), "BA3675FD74EC02C3254A1EFD20876B83", false,
         "Calc MD5 !\nMD5 hash of file " + inFolder("file.bin") + " is: " + gameFileMd5 +
             "\nServer MD5: BA3675FD74EC02C3254A1EFD20876B83!\nClient MD5: " + gameFileMd5 + "!\n"},
    };
    for (const auto& c : cases) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(VerifyFile(c.path, c.checksum), c.ok) << c.path << " / " << c.checksum;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed) << c.path << " / " << c.checksum;
    }
}

TEST_F(FileSyncTest, DownloadWithTheListedMd5ButAnotherSha256FailsTheCheck) {
    using namespace testing_support;
    Downloader downloader(m_stop);
    std::string fullPath;
    EXPECT_EQ(
        SyncFile(base(), "files/planted.bin", "a.bin", twinsMd5, fullPath, downloader, std::nullopt, genuineTwinSha256)
            .failure,
        SyncFailure::ChecksumMismatch);
    EXPECT_FALSE(std::filesystem::exists(fullPath)) << "the twin must not take the file's place";
    EXPECT_TRUE(SyncFile(base(), "files/genuine.bin", "a.bin", twinsMd5, fullPath, downloader, std::nullopt,
                         genuineTwinSha256));
    EXPECT_EQ(readFile(fullPath), genuineTwin);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(VerifyFile(fullPath, twinsMd5, plantedTwinSha256));
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(contains(printed, "MD5 Valid !\nServer SHA-256: " + std::string(plantedTwinSha256) +
                                      "!\nClient SHA-256: " + genuineTwinSha256 + "!\n"))
        << printed;
}

TEST_F(FileSyncTest, MissingFileIsDownloadedWithANumericQueryAndChecked) {
    std::string fullPath, printed;
    ASSERT_TRUE(sync("files/good.bin", "good.bin", gameFileMd5, fullPath, printed)) << printed;
    EXPECT_EQ(fullPath, inFolder("good.bin"));
    EXPECT_EQ(readFile(fullPath), gameFile);
    EXPECT_TRUE(contains(printed, "File Not exists " + fullPath + "\n")) << printed;
    EXPECT_TRUE(contains(printed, "Start Downloading ... " + base() + "files/good.bin?")) << printed;
    EXPECT_TRUE(contains(printed, fullPath + " MD5 OK!\n")) << printed;

    const auto seen = targets();
    ASSERT_EQ(seen.size(), 1u);
    const std::string prefix = "/files/good.bin?";
    ASSERT_EQ(seen[0].rfind(prefix, 0), 0u) << seen[0];
    const std::string number = seen[0].substr(prefix.size());
    ASSERT_FALSE(number.empty());
    ASSERT_EQ(number.find_first_not_of("0123456789"), std::string::npos) << number;
    EXPECT_LE(std::stoi(number), 32767);

    // Now in place: checked, not fetched again.
    ASSERT_TRUE(sync("files/good.bin", "good.bin", gameFileMd5, fullPath, printed));
    EXPECT_TRUE(contains(printed, "MD5 Valid !\nFiles is OK \n")) << printed;
    EXPECT_EQ(targets().size(), 1u);
}

TEST_F(FileSyncTest, EmptyChecksumTakesTwoCallsForAMissingFileAndNoneForAnExistingOne) {
    std::string fullPath, printed;
    EXPECT_FALSE(sync("files/good.bin", "good.bin", "", fullPath, printed));
    EXPECT_TRUE(contains(printed, fullPath + " MD5 FAIL!\n")) << printed;
    EXPECT_TRUE(sync("files/good.bin", "good.bin", "", fullPath, printed));
    EXPECT_EQ(printed, "MD5 is empty !\nFiles is OK \n");
    EXPECT_EQ(targets().size(), 1u);

    // Whatever an existing file holds, an empty checksum accepts it without a request.
    m_folder.write("local.bin", "anything at all");
    EXPECT_TRUE(sync("files/good.bin", "local.bin", "", fullPath, printed));
    EXPECT_EQ(readFile(fullPath), "anything at all");
    EXPECT_EQ(targets().size(), 1u);
}

TEST_F(FileSyncTest, WrongOrUnavailableDownloadsFail) {
    std::string fullPath, printed;
    // Wrong bytes from the server never take the file's name (a wrong program there would run at Play): the old
    // file stays, and nothing is kept to go on from.
    m_folder.write("wrong.bin", "old contents");
    EXPECT_FALSE(sync("files/wrong.bin", "wrong.bin", gameFileMd5, fullPath, printed));
    EXPECT_TRUE(contains(printed, fullPath + " MD5 FAIL!\n")) << printed;
    EXPECT_EQ(readFile(fullPath), "old contents");

    // A refused download says why, and neither creates nor damages the file.
    m_folder.write("stale.bin", "stale contents");
    for (const char* location : {"absent.bin", "stale.bin"}) {
        EXPECT_FALSE(sync("files/absent.bin", location, gameFileMd5, fullPath, printed));
        EXPECT_EQ(fullPath, inFolder(location));
        EXPECT_TRUE(contains(printed, "Download failed: ")) << printed;
        EXPECT_TRUE(contains(printed, "404")) << printed;
        EXPECT_FALSE(contains(printed, "MD5 OK!")) << printed;
    }
    EXPECT_FALSE(std::filesystem::exists(inFolder("absent.bin")));
    EXPECT_EQ(readFile(inFolder("stale.bin")), "stale contents");

    // Nothing to download from: fails every time, without ending the program.
    EXPECT_FALSE(sync("", "", gameFileMd5, fullPath, printed));

    // A folder where the file belongs is not taken for the file, nor replaced.
    std::filesystem::create_directory(inFolder("taken.bin"));
    EXPECT_FALSE(sync("files/good.bin", "taken.bin", "", fullPath, printed));
    EXPECT_TRUE(std::filesystem::is_directory(inFolder("taken.bin")));

    m_stop = true;
    EXPECT_FALSE(sync("files/good.bin", "late.bin", gameFileMd5, fullPath, printed));
    EXPECT_TRUE(contains(printed, "Download failed: stopped")) << printed;
    EXPECT_FALSE(std::filesystem::exists(inFolder("late.bin")));

    for (const auto& entry : std::filesystem::directory_iterator(m_folder.path())) {
        EXPECT_FALSE(contains(entry.path().filename().string(), ".part")) << entry.path();
    }
}

TEST_F(FileSyncTest, FoldersOfTheLocationAreCreatedBeforeTheDownload) {
    std::string fullPath, printed;
    ASSERT_TRUE(sync("files/sub/good.bin", "sub\\dir\\file.bin", gameFileMd5, fullPath, printed)) << printed;
    EXPECT_EQ(fullPath, inFolder("sub/dir/file.bin"));
    EXPECT_EQ(readFile(inFolder("sub/dir/file.bin")), gameFile);
}

TEST_F(FileSyncTest, AnAddressWithAQueryGetsTheNumberAsAnotherParameter) {
    std::string fullPath, printed;
    ASSERT_TRUE(sync("files/good.bin?v=2", "good.bin", gameFileMd5, fullPath, printed)) << printed;
    const auto seen = targets();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].rfind("/files/good.bin?v=2&", 0), 0u) << seen[0];
}

TEST_F(FileSyncTest, FolderHelpersCreateEveryLevel) {
    CreateFolders(inFolder("a//b/c"));
    EXPECT_TRUE(std::filesystem::is_directory(inFolder("a/b/c")));

    EnsureParentFolder(inFolder("x/y/file.bin"));
    EXPECT_TRUE(std::filesystem::is_directory(inFolder("x/y")));
    EXPECT_FALSE(std::filesystem::exists(inFolder("x/y/file.bin")));

    // A bare name has no folder part; no folder may take the file's place.
    EnsureParentFolder("plain.bin");
    EXPECT_FALSE(std::filesystem::exists(inFolder("plain.bin")));
}

TEST_F(FileSyncTest, CopyFileContentsCopiesWholeOrLeavesTheTargetAlone) {
    std::string big(3 * 1024 * 1024 + 5, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<char>(i * 7 % 251);
    }
    m_folder.write("source.bin", big);
    m_folder.write("target.bin", "previous");
    // Relative names are taken against the game folder.
    EXPECT_TRUE(CopyFileContents("source.bin", "target.bin", m_stop));
    EXPECT_EQ(readFile(inFolder("target.bin")), big);

    m_folder.write("kept.bin", "kept");
    EXPECT_FALSE(CopyFileContents("absent.bin", "kept.bin", m_stop));
    EXPECT_EQ(readFile(inFolder("kept.bin")), "kept");
    EXPECT_FALSE(CopyFileContents("source.bin", "no/folder/copy.bin", m_stop));
    EXPECT_FALSE(std::filesystem::exists(inFolder("no")));
    EXPECT_FALSE(CopyFileContents(m_folder.path().string(), "kept.bin", m_stop));
    EXPECT_EQ(readFile(inFolder("kept.bin")), "kept");

    // A closing launcher does not wait for a copy, and leaves no part of one behind.
    m_stop = true;
    EXPECT_FALSE(CopyFileContents("source.bin", "kept.bin", m_stop));
    EXPECT_EQ(readFile(inFolder("kept.bin")), "kept");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_folder.path()), {}), 3);
}

} // namespace
