// How far this run's downloads have come, added up from the file worker's events for the window to show.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>

/// One snapshot of the downloads, as the frame loop copies it.
struct DownloadProgress {
    bool active = false;             // files are being downloaded: the window shows the progress
    std::uint64_t bytesDone = 0;     // bytes in hand of the files to download, a running file's included
    std::uint64_t bytesTotal = 0;    // their listed sizes, plus the server's size of each unlisted one once it is said
    std::uint64_t bytesReceived = 0; // bytes that came over the network this run: speed is measured on these
    bool totalKnown = true;          // every file to download had a listed size: the total is final
    std::uint32_t fileNumber = 0;    // the last file that began downloading, counted from 1
    std::uint32_t fileCount = 0;     // files found to need a download so far

    friend bool operator==(const DownloadProgress&, const DownloadProgress&) = default;
};

/// Adds up the downloads of one run, several of which may run at once; each running one is known by a number of the
/// caller's (`transfer`). Not safe across threads by itself: the Launcher guards it with a lock.
class DownloadTally {
public:
    /// A file was found to need a download; `listedSize` is the server list's "size", when it gives one.
    void expect(std::optional<std::uint64_t> listedSize);
    /// The download of one expected file begins (its retries belong to it and do not call this again).
    void begin(std::optional<std::uint64_t> listedSize, std::size_t transfer = 0);
    /// A report from a running transfer: `done` bytes of the file in hand (a resumed part included, back to 0 when
    /// it starts over), `total` the file's size as the server says it (0 while unknown).
    void update(std::uint64_t done, std::uint64_t total, std::size_t transfer = 0);
    /// A running file's download ended; its bytes stay counted when it is `complete`.
    void end(bool complete, std::size_t transfer = 0);

    [[nodiscard]] const DownloadProgress& progress() const noexcept { return m_progress; }

private:
    struct Running {
        std::optional<std::uint64_t> listedSize;
        std::uint64_t totalAdded = 0;          // an unlisted file's size, as added to bytesTotal
        std::optional<std::uint64_t> lastDone; // its last report; none before its first
    };
    void refresh();

    DownloadProgress m_progress;
    std::uint64_t m_completedBytes = 0; // of the files finished this run
    std::map<std::size_t, Running> m_running;
};
