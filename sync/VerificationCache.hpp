// What earlier starts verified by MD5 (and SHA-256), so that a game file nobody touched since need not be read again.
#pragma once

#include "platform/FileFacts.hpp"
#include "sync/FileDigest.hpp"

#include <chrono>
#include <map>
#include <set>
#include <string>
#include <vector>

class VerificationCache {
public:
    using Clock = std::chrono::system_clock;

    /// A record is trusted for this long after the file was last read; then it is read again.
    static constexpr std::chrono::hours maxAge{7 * 24};
    /// A file modified this shortly before it was read is not recorded: a same-sized write in the same tick of the
    /// file system's clock would leave every recorded fact as it was.
    static constexpr std::chrono::seconds settleTime{2};

    struct Record {
        FileDigests digests; // the SHA-256 only when a list asked for it
        platform::FileFacts facts;
        std::int64_t checkedAt = 0; // seconds since 1970-01-01 UTC, when the file was read
    };

    /// The cache file of `gameFolder` in the user's cache folder; empty when there is no such folder or it lies
    /// inside the game folder (whose "cache" folder the launcher deletes).
    [[nodiscard]] static std::string fileFor(const std::string& gameFolder);

    /// An empty cache that is never saved.
    VerificationCache() = default;
    /// The records kept in `file` for `gameFolder`, read at `now`. A missing, unreadable, truncated or corrupt file,
    /// or one kept for another folder, gives an empty cache, which save() then writes anew; `problem` says why.
    [[nodiscard]] static VerificationCache load(std::string file, std::string gameFolder, Clock::time_point now,
                                                std::string* problem = nullptr);

    /// The digests recorded for `fullPath` when the record is younger than maxAge and `facts` are still the
    /// recorded ones; empty otherwise.
    [[nodiscard]] FileDigests lookup(const std::string& fullPath, const platform::FileFacts& facts) const;
    /// Records that the file at `fullPath`, read at `readAt` while its facts were `facts` throughout, has `digests`.
    /// A file modified within settleTime of `readAt`, or one without an MD5, is forgotten instead.
    void record(const std::string& fullPath, const platform::FileFacts& facts, const FileDigests& digests,
                Clock::time_point readAt);
    /// Drops the records of every path not in `fullPaths`, so files no longer listed leave the cache.
    void keepOnly(const std::vector<std::string>& fullPaths);

    /// Writes the records atomically when anything changed since they were read or last saved; true when nothing
    /// needed writing or the file was written. Whoever saves first makes sure the files of takeUnflushed() are on
    /// the disk (and forgets those that are not): a file read from the system's cache may hold bytes that never
    /// reach the disk before a power cut, and no record may vouch for those.
    bool save();
    /// The files recorded since the last call, whose bytes are not known to be on the disk.
    [[nodiscard]] std::vector<std::string> takeUnflushed();
    /// Drops the records of `fullPaths`.
    void forget(const std::vector<std::string>& fullPaths);

    [[nodiscard]] std::size_t size() const noexcept { return m_records.size(); }
    [[nodiscard]] const std::string& file() const noexcept { return m_file; }

private:
    [[nodiscard]] std::string serialise() const;

    std::string m_file;
    std::string m_gameFolder;
    std::int64_t m_now = 0; // seconds since 1970-01-01 UTC, when the cache was loaded
    std::map<std::string, Record> m_records;
    std::set<std::string> m_unflushed; // recorded since the last save: not known to be on the disk yet
    bool m_changed = false;
};
