// One file on its way to the disk: its partial file, its digests taken as the bytes arrive, and the libcurl transfers
// that bring it. A small file, or one from a server that serves no byte ranges, comes as one stream; a large one
// from a server that does comes in pieces side by side, each transfer writing its own part of the one partial file.
// The Downloader drives many of these on one libcurl multi handle, all on its own thread.
#pragma once

#include "platform/PartFile.hpp"
#include "sync/Downloader.hpp"
#include "sync/FileDigest.hpp"
#include "sync/HashFollower.hpp"
#include "sync/PipelinedWriter.hpp"
#include "sync/ResumeRecord.hpp"

#include <curl/curl.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class FileDownload {
public:
    /// Nothing happens before begin(). `multi` carries the transfers; `piecesAllowed` is false for an address whose
    /// server was found to ignore byte ranges.
    FileDownload(DownloadRequest request, ProgressHook hook, const DownloadOptions& options, const StopFlag& stop,
                 CURLM* multi, bool piecesAllowed);
    /// Ends as stop() does when not finished: what a resumable file holds stays on disk.
    ~FileDownload();
    FileDownload(const FileDownload&) = delete;
    FileDownload& operator=(const FileDownload&) = delete;

    /// Opens the partial file and starts the first transfer; a file that cannot start is finished at once.
    void begin();
    /// Starts one more transfer for this file: a piece nobody fetches yet, or the second half of the largest piece
    /// still to come. False when the file cannot use another connection.
    bool widen();
    /// libcurl ended the transfer `easy`, one of this file's, with `code`.
    void transferEnded(CURL* easy, CURLcode code);
    /// Ends every transfer because the launcher is closing; a resumable file keeps its part.
    void stop();
    /// Ends every transfer because libcurl itself failed, with `why`.
    void fail(const std::string& why);
    /// True when `easy` is one of this file's transfers.
    [[nodiscard]] bool owns(CURL* easy) const noexcept;

    [[nodiscard]] bool finished() const noexcept { return m_result.has_value(); }
    /// The outcome, once finished().
    [[nodiscard]] DownloadResult takeResult() { return std::move(*m_result); }
    /// Transfers running now, each on a connection or an HTTP/2 stream of its own.
    [[nodiscard]] std::size_t transfers() const noexcept { return m_transfers.size(); }
    /// Of those, the pieces that asked for a connection of their own (HTTP/1.1).
    [[nodiscard]] std::size_t ownConnections() const noexcept;
    /// A transfer of this file came over HTTP/2, where one connection carries many.
    [[nodiscard]] bool multiplexed() const noexcept { return m_multiplexed; }
    /// The server answered a request for a piece with the whole file: it serves no ranges of this address.
    [[nodiscard]] bool rangesIgnored() const noexcept { return m_rangesIgnored; }
    [[nodiscard]] const std::string& address() const noexcept { return m_address; }

private:
    struct Transfer;
    struct Piece {
        ResumePiece span;
        Transfer* transfer = nullptr; // fetching it now
    };
    // libcurl's callbacks; `user` is the Transfer.
    static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* user);
    static std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user);

    // Starting transfers.
    [[nodiscard]] Transfer* startTransfer(std::uint64_t first, std::uint64_t end, bool ownConnection);
    void startSingle();
    bool startPiece(std::size_t index);
    [[nodiscard]] std::optional<std::size_t> idlePiece() const;

    // Inside libcurl's callbacks.
    bool decide(Transfer& transfer);
    bool decidePiece(Transfer& transfer, long status, const std::string& validator);
    void enterPieces(Transfer& transfer);
    std::size_t receive(Transfer& transfer, const char* data, std::size_t size);
    std::size_t receivePiece(Transfer& transfer, const char* data, std::size_t size);
    bool fits(std::size_t size);
    void report() const;

    // The end of a transfer, and of the file.
    void singleEnded(Transfer& transfer, CURLcode code, long status);
    void pieceEnded(Transfer& transfer, CURLcode code, long status);
    void startOver();
    void finishPieces(long status);
    void complete(FileDigests digests, long status);
    void giveUp(DownloadResult result, bool keepPart = true);
    [[nodiscard]] bool drainWriter();
    void saveRecord();
    void advanceFrontier();
    [[nodiscard]] std::uint64_t piecesWritten() const;
    [[nodiscard]] DownloadResult failureFromFlags(long status);
    [[nodiscard]] bool wantsSha256() const noexcept { return !m_request.sha256.empty(); }

    const DownloadRequest m_request;
    const std::string m_address; // the request's address without the query that defeats caches
    const ProgressHook m_hook;
    const DownloadOptions& m_options;
    const StopFlag& m_stop;
    CURLM* const m_multi;
    bool m_piecesAllowed;

    std::optional<platform::PartFile> m_file;
    std::vector<std::unique_ptr<Transfer>> m_transfers;
    int m_pass = 0; // a second pass starts from the first byte, when the server's answer did not fit the part

    // One stream: where it went on from, its MD5 as it goes, the thread that writes and hashes a large body.
    std::uint64_t m_offset = 0;
    std::optional<FileDigest> m_digest;
    std::optional<PipelinedWriter> m_writer;
    std::string m_knownValidator; // what the server called the file when the part in hand was fetched
    bool m_hashPartLater = false; // the part in hand is large: hashed only if the file stays one stream

    // In pieces: they follow each other from the first byte; the MD5 follows the first gap-free stretch.
    bool m_inPieces = false;
    std::vector<Piece> m_pieces;
    std::size_t m_frontierPiece = 0; // the first piece not complete
    std::optional<HashFollower> m_follower;
    std::string m_validator;
    std::chrono::steady_clock::time_point m_recordSaved;
    std::uint64_t m_doneAtRecord = 0; // m_done when the record was last written

    // What the answers said and what went wrong, for the result.
    std::uint64_t m_total = 0; // the whole file's size as the server says it; 0 while unknown
    std::uint64_t m_limit = 0; // the most bytes the file may have; 0: nothing says
    std::uint64_t m_done = 0;  // the file's bytes in hand, a resumed part included
    std::uint64_t m_resumedFrom = 0;
    std::uint64_t m_received = 0; // body bytes of the transfers that ended
    bool m_roomChecked = false;
    bool m_startOver = false;
    bool m_writeFailed = false;
    bool m_diskFull = false;
    bool m_unbounded = false; // neither the list nor the server gave a length: what came is not kept
    bool m_multiplexed = false;
    bool m_rangesIgnored = false;
    std::uint64_t m_bytesShort = 0;
    std::string m_notTheFile; // why the body cannot be the file

    std::optional<DownloadResult> m_result;
};
