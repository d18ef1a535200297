// The verification cache on its own: what it trusts, for how long, and what it does with a damaged file.
#include "sync/VerificationCache.hpp"

#include "support/Md5.hpp"
#include "support/TempFolder.hpp"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing_support::readFile;
using testing_support::TempFolder;
using testing_support::writeFile;

namespace {

constexpr const char* md5A = "0123456789abcdef0123456789abcdef";
constexpr const char* gameFolder = "/games/varnhold";
constexpr const char* filePath = "/games/varnhold/Data/a.bin";

class VerificationCacheTest : public ::testing::Test {
protected:
    using Clock = VerificationCache::Clock;

    // A file last written an hour before it was read: long settled.
    platform::FileFacts facts() const {
        return {1234, std::chrono::duration_cast<std::chrono::nanoseconds>((m_readAt - 1h).time_since_epoch()).count(),
                7, 99};
    }

    VerificationCache load(Clock::time_point now, std::string* problem = nullptr) const {
        return VerificationCache::load(m_file, gameFolder, now, problem);
    }

    // A cache holding one record of filePath, saved.
    void saveOneRecord() {
        VerificationCache cache = load(m_readAt);
        cache.record(filePath, facts(), {md5A}, m_readAt);
        ASSERT_TRUE(cache.save());
    }

    TempFolder m_folder;
    std::string m_file = (m_folder.path() / "cache" / "verified.txt").string();
    Clock::time_point m_readAt = Clock::now();
};

TEST_F(VerificationCacheTest, ARecordHoldsOnlyWhileEveryFactHolds) {
    saveOneRecord();
    const VerificationCache cache = load(m_readAt + 1h);
    EXPECT_EQ(cache.lookup(filePath, facts()).md5, md5A);
    EXPECT_EQ(cache.lookup("/games/varnhold/Data/b.bin", facts()).md5, "");

    platform::FileFacts changed = facts();
    changed.size += 1;
    EXPECT_EQ(cache.lookup(filePath, changed).md5, "") << "size";
    changed = facts();
    changed.modifiedNs += 1;
    EXPECT_EQ(cache.lookup(filePath, changed).md5, "") << "modification time, to the nanosecond";
    changed = facts();
    changed.identity += 1;
    EXPECT_EQ(cache.lookup(filePath, changed).md5, "") << "a file replaced under the same name";
    changed = facts();
    changed.volume += 1;
    EXPECT_EQ(cache.lookup(filePath, changed).md5, "") << "a file on another volume";
}

TEST_F(VerificationCacheTest, RecordsExpireAfterSevenDaysAndUnlistedFilesAreDropped) {
    saveOneRecord();
    EXPECT_EQ(load(m_readAt + VerificationCache::maxAge - 1min).lookup(filePath, facts()).md5, md5A);
    EXPECT_EQ(load(m_readAt + VerificationCache::maxAge).lookup(filePath, facts()).md5, "");
    EXPECT_EQ(load(m_readAt - 1h).lookup(filePath, facts()).md5, "") << "a record from the future of a clock set back";

    VerificationCache cache = load(m_readAt);
    cache.keepOnly({"/games/varnhold/other.bin"});
    ASSERT_TRUE(cache.save());
    EXPECT_EQ(load(m_readAt).size(), 0u);
}

TEST_F(VerificationCacheTest, FilesWrittenJustBeforeTheyWereReadAreNotRecorded) {
    VerificationCache cache = load(m_readAt);
    platform::FileFacts fresh = facts();
    fresh.modifiedNs = std::chrono::duration_cast<std::chrono::nanoseconds>(
                           (m_readAt - VerificationCache::settleTime + 1ms).time_since_epoch())
                           .count();
    cache.record(filePath, fresh, {md5A}, m_readAt);
    EXPECT_EQ(cache.lookup(filePath, fresh).md5, "");
    // Nor does a failed read leave an earlier record standing.
    cache.record(filePath, facts(), {md5A}, m_readAt);
    cache.record(filePath, facts(), {""}, m_readAt);
    EXPECT_EQ(cache.lookup(filePath, facts()).md5, "");
}

TEST_F(VerificationCacheTest, ADamagedFileIsIgnoredAndWrittenAnew) {
    saveOneRecord();
    const std::string good = readFile(m_file);
    ASSERT_EQ(load(m_readAt).lookup(filePath, facts()).md5, md5A);

    std::string flipped = good;
    flipped[flipped.find(md5A)] = 'f';
    const std::string damaged[] = {
        good.substr(0, good.size() / 2),                               // truncated mid-record
        good.substr(0, good.rfind("end")),                             // the closing line lost
        flipped,                                                       // one changed byte
        "garbage\n",                                                   // not ours at all
        std::string(good).replace(good.find(gameFolder), 6, "/other"), // another game folder's
    };
    for (const std::string& bytes : damaged) {
        writeFile(m_file, bytes);
        std::string problem;
        VerificationCache cache = load(m_readAt, &problem);
        EXPECT_FALSE(problem.empty()) << bytes;
        EXPECT_EQ(cache.lookup(filePath, facts()).md5, "") << bytes;
        ASSERT_TRUE(cache.save());
        problem.clear();
        EXPECT_EQ(load(m_readAt, &problem).size(), 0u);
        EXPECT_TRUE(problem.empty()) << "rewritten whole: " << problem;
    }
}

TEST_F(VerificationCacheTest, BothDigestsAreKeptAndTheFirstFormIsStillRead) {
    const std::string sha256(64, 'e');
    VerificationCache cache = load(m_readAt);
    cache.record(filePath, facts(), {md5A, sha256}, m_readAt);
    ASSERT_TRUE(cache.save());
    const FileDigests kept = load(m_readAt).lookup(filePath, facts());
    EXPECT_EQ(kept.md5, md5A);
    EXPECT_EQ(kept.sha256, sha256);

    // What launchers before SHA-256 wrote: the records hold, with no SHA-256.
    const std::string records =
        "varnhold-verified 1\nfolder\t" + std::string(gameFolder) + "\n" + md5A + "\t1234\t" +
        std::to_string(facts().modifiedNs) + "\t7\t99\t" +
        std::to_string(std::chrono::duration_cast<std::chrono::seconds>(m_readAt.time_since_epoch()).count()) + "\t" +
        filePath + "\n";
    writeFile(m_file, records + "end\t1\t" + testing_support::md5Hex(records) + "\n");
    std::string problem;
    const FileDigests first = load(m_readAt, &problem).lookup(filePath, facts());
    EXPECT_TRUE(problem.empty()) << problem;
    EXPECT_EQ(first.md5, md5A);
    EXPECT_EQ(first.sha256, "");
}

} // namespace
