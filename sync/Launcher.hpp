// The launcher's shared state: the status line the window shows, the music, the realm list, the two workers and the
// download of a newer launcher. Everything the workers and the main thread share lives here, behind the mutex or in
// atomics. The member functions are defined in six files, one per group below: Launcher.cpp (state, starting and
// stopping), MusicWorker.cpp, FileWorker.cpp, DiskRoom.cpp, GamePreparation.cpp and ProgramDownload.cpp.
#pragma once

#include "sync/Backoff.hpp"
#include "sync/CheckAhead.hpp"
#include "sync/DownloadProgress.hpp"
#include "sync/Downloader.hpp"
#include "sync/FileEntry.hpp"
#include "sync/FileSync.hpp"
#include "sync/GamePreparation.hpp"
#include "sync/Language.hpp"
#include "sync/MusicPlayer.hpp"
#include "sync/ProgramRelease.hpp"
#include "sync/StopFlag.hpp"
#include "sync/VerificationCache.hpp"

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

/// What the window reads each frame, copied out in one piece.
struct StatusLine {
    std::string statusText;
    bool canPlay = false;
    bool musicOn = false;
    bool allDone = false;
    DownloadProgress progress;
};

namespace status {
inline constexpr TextPair loading{"Loading...", "Sabr konin ..."};
inline constexpr TextPair music{"Download - Music", "Download - Ahang"};
inline constexpr TextPair requirements{"Download - Requirements", "Download - Elzamat"};
inline constexpr TextPair gameData{"Download - Game Data", "Download - Bazi"};
inline constexpr TextPair additional{"Download - Additional", "Download - Takmili"};
inline constexpr TextPair ready{"Ready to Play", "Amade Bazi"};
inline constexpr TextPair preparing{"Preparing the game", "Amade Sazi bazi"};
// Why a file keeps failing, in a few words that fit the status line's box; the standard output has the whole story.
inline constexpr TextPair notFound{"Failed: not found (404)", "Khata: file nist (404)"};
inline constexpr TextPair unreachable{"Failed: no connection", "Khata: ertebat nist"};
inline constexpr TextPair checksumMismatch{"Failed: wrong checksum", "Khata: checksum ghalat"};
inline constexpr TextPair diskFull{"Paused: disk full", "Motevaghef: disk por"};
inline constexpr TextPair cannotWrite{"Failed: cannot write", "Khata: zakhire nashod"};
// While a newer launcher comes in and while it starts in this one's place.
inline constexpr TextPair updating{"Updating the launcher ...", "Launcher dar hale update ast ..."};
inline constexpr TextPair startingUpdate{"Starting the new launcher ...", "Launcher jadid dar hale ejra ast ..."};
} // namespace status

/// The folder part of a full file path ("." for a bare name).
[[nodiscard]] std::string FolderOf(const std::string& fullPath);

/// The status text that says why a file keeps failing; nullptr for a stop, which needs no words.
[[nodiscard]] const TextPair* failureText(SyncFailure failure) noexcept;

class Launcher {
public:
    // sync/Launcher.cpp: the state, starting and stopping the workers.

    /// Game files are kept inside `gameFolder` (the current folder when empty).
    explicit Launcher(std::string gameFolder = {});
    /// Stops and joins the workers before anything they use goes away.
    ~Launcher();
    Launcher(const Launcher&) = delete;
    Launcher& operator=(const Launcher&) = delete;

    // Process-wide settings the main thread writes and the workers read.
    [[nodiscard]] Language language() const noexcept { return m_language.load(); }
    void setLanguage(Language language) noexcept { m_language.store(language); }
    [[nodiscard]] bool fullGameDownload() const noexcept { return m_fullGameDownload.load(); }
    void setFullGameDownload(bool on) noexcept { m_fullGameDownload.store(on); }

    /// Starts the music worker: download (URL, location, checksum), then play. Returns at once.
    void startMusicDownload(std::string url, std::string location, std::string checksum);
    /// Sorts `files` required-first and starts the file worker on them. Returns at once.
    void startFileSync(std::vector<FileEntry> files);

    [[nodiscard]] std::string statusText() const;
    void setStatusText(std::string text);
    /// Sets the status to `text` in the current language.
    void setStatus(const TextPair& text);
    [[nodiscard]] bool canPlay() const noexcept { return m_canPlay.load(); }
    [[nodiscard]] bool musicOn() const noexcept { return m_musicOn.load(); }
    [[nodiscard]] bool allDone() const noexcept { return m_allDone.load(); }
    [[nodiscard]] StatusLine statusLine() const;
    [[nodiscard]] DownloadProgress downloadProgress() const;

    /// Asks the workers to give up (between attempts and inside transfers) and waits for them.
    void stopWorkers();
    [[nodiscard]] bool stopRequested() const noexcept { return m_stop.load(); }
    /// For tests and tools: waits until the file worker has finished or `timeout` passed; true when finished.
    bool waitUntilAllDone(std::chrono::milliseconds timeout) const;
    /// For tests and tools: waits until the music worker has ended.
    bool waitForMusicWorker(std::chrono::milliseconds timeout) const;

    [[nodiscard]] const std::string& gameFolder() const noexcept { return m_gameFolder; }
    /// True when `path`, a path from the server's document under the key `key`, names a place inside the game
    /// folder (by its text: no file call is made); prints why not otherwise. The empty path is refused silently.
    [[nodiscard]] bool pathAllowed(std::string_view key, const std::string& path) const;

    /// The pauses between retries of a failing download; call before starting the workers (tests shorten them).
    void setRetryDelays(std::chrono::milliseconds first, std::chrono::milliseconds cap) noexcept;
    /// Keeps the verification records in `cacheFile` (none when empty); with `fullCheck` every file is read again
    /// and the records are only written. Call before startFileSync.
    void setVerificationCache(std::string cacheFile, bool fullCheck);
    /// How many threads check files at once (0: one per core); call before startFileSync.
    void setCheckThreads(unsigned threads) noexcept { m_checkThreads = threads; }
    /// How many connections the file worker opens to a server at most (1 to DownloadOptions::maxConnections; the
    /// document's "connections"); call before startFileSync.
    void setConnections(unsigned connections) noexcept { m_connections = connections; }

    // sync/MusicWorker.cpp: the music, driven from the main thread after the music worker's first start. Once
    // stopped, the track stays off when its download ends later, until restartMusic.
    void restartMusic();
    void stopMusic();
    /// Once per frame: restarts the track when the music is on and it has played to its end.
    void musicTick();
    [[nodiscard]] std::string musicPath() const;

    // sync/GamePreparation.cpp: the realm list and the preparations before play.
    void setRealmlist(std::string target, std::string text);
    [[nodiscard]] std::string realmlistTarget() const;
    /// Writes the realm list text, exactly, to the target, in one step; a read-only file is left alone. Prints a
    /// diagnostic line when it is not written.
    [[nodiscard]] RealmlistWrite writeRealmlist() const;
    /// Removes "cache", shows "Preparing the game", deletes `removals` in order, writes the realm list.
    void prepareGame(const std::vector<std::string>& removals);

    // sync/ProgramDownload.cpp: a newer launcher program, fetched before anything else starts.
    /// Starts the update worker: `release` into `target`, resumed from an earlier start's part, kept only when its
    /// size and SHA-256 match. The progress shows as the file worker's does. Returns at once.
    void startProgramDownload(ProgramRelease release, std::string target);
    [[nodiscard]] ProgramDownload programDownload() const noexcept { return m_programDownload.load(); }
    /// Stops the update worker (a part downloaded stays for the next start) and waits for it.
    void stopProgramDownload();

private:
    // sync/Launcher.cpp
    /// True when `location` names a place inside the game folder.
    [[nodiscard]] bool insideGameFolder(const std::string& location) const;
    /// True when `location` names a place inside the game folder; prints why not otherwise.
    [[nodiscard]] bool locationAllowed(const std::string& location) const;
    // The download tally, written by the file worker, its checking threads and its transfers; `transfer` tells
    // apart the files downloading at once.
    void expectDownload(const FileEntry& entry);
    void beginDownload(const FileEntry& entry, std::size_t transfer);
    void reportTransfer(std::size_t transfer, std::uint64_t done, std::uint64_t total);
    void endDownload(std::size_t transfer, bool complete);

    // sync/MusicWorker.cpp
    void musicWorker(std::string url, std::string location, std::string checksum);
    void restartMusicLocked();

    // sync/FileWorker.cpp
    /// The walk of one file list: the checks in list order, the downloads several at once.
    class FileWalk;
    /// Who hears of a file that keeps failing: the player (the status line, the disk-full box), or only the output.
    enum class FailureReport { ToPlayer, OutputOnly };
    void fileWorker(std::vector<FileEntry> files);
    /// SyncFile until it succeeds, pausing with `backoff` between attempts; false when stopped first. A file that
    /// keeps failing puts the reason on the status line when `report` says so; a full disk is waited out (see
    /// waitForRoom).
    bool syncUntilValid(const std::string& url, const std::string& location, const std::string& checksum,
                        std::string& fullPath, Backoff& backoff, Downloader& downloader, FailureReport report,
                        std::optional<std::uint64_t> size = std::nullopt, const std::string& sha256 = {});
    /// The digests of the file at `fullPath` (SHA-256 too when `sha256` is given): from the verification cache when
    /// its record still holds and matches, read otherwise (and then recorded). Runs on the checking threads.
    [[nodiscard]] FileCheck checkFile(const std::string& fullPath, const std::string& checksum,
                                      const std::string& sha256);
    void saveVerificationCache();

    // sync/ProgramDownload.cpp
    void programWorker(ProgramRelease release, std::string target);
    /// The newer launcher program as a list entry (empty before startProgramDownload).
    [[nodiscard]] FileEntry programFile() const;

    // sync/DiskRoom.cpp
    /// Shows the disk-full box (once per run, when `report` is to the player) and sleeps until `folder` has
    /// `bytesShort` more bytes free than now, looking again every few seconds; false when stopped first.
    bool waitForRoom(const std::string& folder, std::uint64_t bytesShort, FailureReport report);
    /// Before the first file of the full game: waits (see waitForRoom) until the game folder has room for the
    /// listed sizes of the game files not on disk yet, less what their partial files hold; false when stopped.
    bool waitForGameDataRoom(const std::vector<FileEntry>& gameFiles);

    const std::string m_gameFolder;
    std::atomic<Language> m_language{Language::Finglish};
    std::atomic<bool> m_fullGameDownload{false};
    std::chrono::milliseconds m_retryFirst{Backoff::firstDelay}; // set before the workers start, read by them
    std::chrono::milliseconds m_retryCap{Backoff::maxDelay};
    std::string m_cacheFile; // set before the file worker starts, read by it
    bool m_fullCheck = false;
    unsigned m_checkThreads = 0;
    unsigned m_connections = DownloadOptions::defaultConnections;

    /// The music's location and checksum, as a list entry (empty before startMusicDownload).
    [[nodiscard]] FileEntry musicFile() const;

    // guards m_statusText, m_musicPath, m_musicFile, m_programFile, m_realmlistTarget, m_realmlistText
    mutable std::mutex m_mutex;
    std::string m_statusText;
    FileEntry m_musicFile;
    FileEntry m_programFile;
    std::string m_musicPath;
    std::string m_realmlistTarget;
    std::string m_realmlistText;

    mutable std::mutex m_musicMutex; // guards m_music: the music worker starts it, the main thread drives it
    MusicPlayer m_music;
    bool m_musicWanted = true; // false once the music was stopped, until it is switched on again; under m_musicMutex
    std::chrono::steady_clock::time_point m_musicStartedAt; // when the track last started, under m_musicMutex

    mutable std::mutex m_verifiedMutex; // guards m_verified: the checking threads record, the file worker saves
    VerificationCache m_verified;

    mutable std::mutex m_progressMutex; // guards m_downloads: the file worker's threads write, the frame loop reads
    DownloadTally m_downloads;

    std::atomic<bool> m_canPlay{false};
    std::atomic<bool> m_musicOn{false};
    std::atomic<bool> m_allDone{false};
    std::atomic<bool> m_musicWorkerDone{false};
    std::atomic<bool> m_diskFullShown{false}; // the disk-full box is shown once per run, by whichever worker is first
    StopFlag m_stop{false};
    // The update worker's transfer stops at m_stop too, and when the player closes the update window.
    StopFlag m_programStop{false};
    std::atomic<ProgramDownload> m_programDownload{ProgramDownload::Idle};

    std::thread m_musicThread;
    std::thread m_fileThread;
    std::thread m_programThread;
};
