// Downloading addresses to files, several at once: each written beside its target and renamed over it only when
// complete, hashed as the bytes arrive, over connections that a worker keeps open from one file to the next.
#pragma once

#include "sync/StopFlag.hpp"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

enum class DownloadError { None, Stopped, HttpStatus, Transfer, LocalFile, DiskFull, ChecksumMismatch };

struct DownloadResult {
    DownloadError error = DownloadError::None;
    long httpStatus = 0;
    std::string detail; // libcurl's or the OS's words, for the diagnostic line
    std::string md5; // on success or ChecksumMismatch: the MD5 of the whole file, from the bytes as they were written
    std::string sha256;            // the same for SHA-256, when the request gave one to check
    std::uint64_t resumedFrom = 0; // bytes of an earlier partial file that this download went on from
    std::uint64_t received = 0;    // body bytes that came over the network in this call
    std::uint64_t bytesShort = 0;  // DiskFull: how many more bytes the target's folder needs (0: not known)

    [[nodiscard]] explicit operator bool() const noexcept { return error == DownloadError::None; }
    [[nodiscard]] std::string toString() const;
    /// A failed result with its reason.
    [[nodiscard]] static DownloadResult failure(DownloadError error, std::string detail, long httpStatus = 0);
};

/// Limits of one transfer. The defaults suit a player's line; tests shorten them.
struct DownloadOptions {
    static constexpr std::chrono::seconds defaultConnectTimeout{15};
    static constexpr long defaultLowSpeedLimit = 1024; // bytes per second
    static constexpr std::chrono::seconds defaultLowSpeedTime{30};
    static constexpr long defaultMaxRedirects = 10;
    static constexpr unsigned defaultConnections = 8;
    static constexpr unsigned maxConnections = 16;

    std::chrono::seconds connectTimeout = defaultConnectTimeout;
    long lowSpeedLimit = defaultLowSpeedLimit; // slower than this for lowSpeedTime counts as a stalled transfer
    std::chrono::seconds lowSpeedTime = defaultLowSpeedTime;
    long maxRedirects = defaultMaxRedirects;
    std::string caFile; // certificates to trust instead of the system's store; empty in the launcher
    /// Connections to one server at most (1 to maxConnections). Over HTTP/2 one connection carries many files.
    unsigned connections = defaultConnections;
    /// A large file from a server that serves byte ranges may come in pieces side by side; false keeps every file
    /// one stream from its first byte to its last.
    bool pieces = true;
};

/// How far one file's download has come. `done` counts the file's bytes in hand, a resumed part included, so it
/// can drop back to 0 when the server makes the download start over. `total` is the whole file's size once the
/// server has said it, 0 until then and for a server that never does.
struct TransferProgress {
    std::uint64_t done = 0;
    std::uint64_t total = 0;
};

/// Called on the downloading thread: once when the server's answer starts (or the download starts over), then after
/// every block written (of any of the file's pieces). It runs inside the transfer, so it must be cheap and must not
/// block (store to atomics, or take a short lock); the stop flag, not the hook, ends a transfer.
using ProgressHook = std::function<void(const TransferProgress&)>;

/// One file to fetch.
struct DownloadRequest {
    std::string url;    // what is asked for
    std::string target; // where the file goes
    /// Resumable downloads keep "<target>.varnhold-partial" and a record of `address`, `checksum` and the server's
    /// validator across failures and runs, and go on from it with Range and If-Range. Others start from nothing and
    /// leave nothing behind when they fail.
    bool resumable = false;
    std::string address;  // the file's address without the query that defeats caches (empty: `url`)
    std::string checksum; // the MD5 the list expects; a partial file begun for another one is not resumed
    std::optional<std::uint64_t> size = std::nullopt; // the size the list gives, if any: no body may be longer
    std::string sha256{};                             // the SHA-256 a signed list expects as well; empty: none is taken
};

/// One worker's downloads, several at once on one libcurl multi handle: small files side by side on up to
/// `connections` connections (or as streams of one HTTP/2 connection), a large one from a server that serves byte
/// ranges in pieces on connections of their own. Its connections stay open from one file to the next, so a list of
/// small files is not a list of handshakes. Not shared between threads: each worker owns one and calls it alone.
class Downloader {
public:
    using FileId = std::uint64_t;
    struct Finished {
        FileId id = 0;
        DownloadResult result;
    };

    /// Transfers give up when `stop` becomes true (within a second), on a connect time-out or when they stall.
    explicit Downloader(const StopFlag& stop, DownloadOptions options = {});
    ~Downloader();
    Downloader(const Downloader&) = delete;
    Downloader& operator=(const Downloader&) = delete;

    /// Progress of every later fetch() goes to `hook`; an empty hook switches reporting off.
    void setProgressHook(ProgressHook hook);

    /// Fetches `request.url` (redirects followed, but never from https to http; any final status other than 2xx a
    /// failure) into `request.target`, and waits for it. Disk space is checked once the size is known: a folder
    /// too small fails with DiskFull before a byte is written. A body longer than `request.size`, or than the server
    /// announced, fails (Transfer), as does an announced length no game file has. Bytes whose MD5 is not
    /// `request.checksum`, or whose SHA-256 is not `request.sha256` when it is given, fail with ChecksumMismatch and
    /// never take the target's place. On success the result carries the file's MD5 (and SHA-256 when one was
    /// given). Not to be mixed with start().
    [[nodiscard]] DownloadResult fetch(const DownloadRequest& request);

    /// Starts fetching `request` as fetch() would, beside the files already on their way; `hook` hears of its
    /// progress. Its result comes out of run(). At most one file per target at a time.
    FileId start(const DownloadRequest& request, ProgressHook hook = {});
    /// True while another file can start at once without waiting for a connection.
    [[nodiscard]] bool hasRoom() const;
    /// Gives a free connection to a large file on its way (one more of its pieces); false when none can use one.
    bool widen();
    /// Moves every transfer on for up to `timeout` (at most 100 ms, less once one ends) and hands out the files
    /// that ended, with their results. Once the stop flag is set, every file ends with Stopped.
    [[nodiscard]] std::vector<Finished> run(std::chrono::milliseconds timeout);
    /// Files on their way.
    [[nodiscard]] std::size_t active() const;

private:
    struct Engine;
    const StopFlag& m_stop;
    DownloadOptions m_options;
    ProgressHook m_progress;
    std::unique_ptr<Engine> m_engine;
};

/// Fetches `url` into `target` on a connection of its own, not resumable; see Downloader::fetch.
[[nodiscard]] DownloadResult DownloadToFile(const std::string& url, const std::string& target, const StopFlag& stop);
/// The same with other limits.
[[nodiscard]] DownloadResult DownloadToFile(const std::string& url, const std::string& target, const StopFlag& stop,
                                            const DownloadOptions& options);
