// What the download benchmarks share: the bundled server on a folder, a launcher run to "Ready to Play", and a
// quiet standard output while the worker prints its lines.
#pragma once

#include "bench/BenchSupport.hpp"
#include "sync/Launcher.hpp"
#include "tools/server/LauncherServer.hpp"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace bench_support {

/// A temporary folder, removed with everything in it when the object goes.
class BenchFolder {
public:
    BenchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "varnhold-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            m_path = pattern;
    }
    ~BenchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    BenchFolder(const BenchFolder&) = delete;
    BenchFolder& operator=(const BenchFolder&) = delete;
    [[nodiscard]] const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

/// varnhold-server in this process, quiet, serving `files` under /files/ on a free port of 127.0.0.1.
inline std::unique_ptr<LauncherServer> startBundledServer(const std::filesystem::path& files,
                                                          const std::filesystem::path& document) {
    ServerOptions options;
    options.port = 0;
    options.quiet = true;
    options.filesDir = files.string();
    options.documentPath = document.string();
    auto server = std::make_unique<LauncherServer>(options);
    if (!server->start())
        return nullptr;
    return server;
}

/// When a start reached Play (the last required file in place) and "Ready to Play", in seconds from a new Launcher.
struct StartTimes {
    double play = 0;
    double ready = 0;
};

/// Times a new Launcher on `gameFolder` over `entries`; nullopt when it did not get to "Ready to Play" within `limit`.
/// Locations are taken against the current folder, as the launcher does: it becomes `gameFolder`. With a
/// `cacheFile` the verification records are kept there, as the launcher keeps them.
inline std::optional<StartTimes> timeStart(const std::filesystem::path& gameFolder,
                                           const std::vector<FileEntry>& entries,
                                           std::chrono::milliseconds limit = std::chrono::minutes{10},
                                           const std::string& cacheFile = {},
                                           unsigned connections = DownloadOptions::defaultConnections) {
    using Clock = std::chrono::steady_clock;
    constexpr std::chrono::milliseconds playPoll{5}; // as often as the Launcher's own waits look
    std::filesystem::current_path(gameFolder);
    const auto start = Clock::now();
    const auto deadline = start + limit;
    Launcher launcher(gameFolder.string());
    launcher.setLanguage(Language::English);
    if (!cacheFile.empty())
        launcher.setVerificationCache(cacheFile, false);
    launcher.setConnections(connections);
    launcher.startFileSync(entries);
    // Play is raised before the worker is done, never after.
    while (!launcher.canPlay() && !launcher.waitUntilAllDone(playPoll) && Clock::now() < deadline) {
    }
    StartTimes times;
    times.play = std::chrono::duration<double>(Clock::now() - start).count();
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (!launcher.waitUntilAllDone(left) || launcher.statusText() != "Ready to Play")
        return std::nullopt;
    times.ready = std::chrono::duration<double>(Clock::now() - start).count();
    return times;
}

/// Sends standard output to /dev/null for as long as it lives: the worker's lines would time the terminal.
class QuietOutput {
public:
    QuietOutput() {
        std::fflush(stdout);
        m_console = ::dup(STDOUT_FILENO);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        ::dup2(null, STDOUT_FILENO);
        ::close(null);
    }
    ~QuietOutput() {
        std::fflush(stdout);
        ::dup2(m_console, STDOUT_FILENO);
        ::close(m_console);
    }
    QuietOutput(const QuietOutput&) = delete;
    QuietOutput& operator=(const QuietOutput&) = delete;

private:
    int m_console = -1;
};

/// The best of `rounds` first starts against the best of as many runs of a peer's shell command. Rounds alternate,
/// so a busy machine slows both alike. Each launcher round starts on an empty `gameFolder`, and each folder in
/// `clearedEachRound` is emptied too (where the peer writes). `ok` is false when either side failed once.
struct BestOfRounds {
    double ours = 1e300;
    double theirs = 1e300;
    bool ok = true;
};

inline BestOfRounds bestFirstStarts(int rounds, const std::filesystem::path& gameFolder,
                                    const std::vector<FileEntry>& entries, const std::string& peerCommand,
                                    const std::vector<std::filesystem::path>& clearedEachRound = {}) {
    BestOfRounds best;
    for (int round = 0; round < rounds && best.ok; ++round) {
        std::error_code ignored;
        std::filesystem::remove_all(gameFolder, ignored);
        for (const std::filesystem::path& folder : clearedEachRound)
            std::filesystem::remove_all(folder, ignored);
        std::filesystem::create_directories(gameFolder);
        std::optional<StartTimes> launcher;
        {
            const QuietOutput quiet;
            launcher = timeStart(gameFolder, entries);
        }
        bool peerOk = false;
        const double peer = secondsTaken([&] { peerOk = std::system(peerCommand.c_str()) == 0; });
        best.ok = launcher.has_value() && peerOk;
        best.ours = std::min(best.ours, launcher ? launcher->ready : best.ours);
        best.theirs = std::min(best.theirs, peer);
    }
    return best;
}

} // namespace bench_support
