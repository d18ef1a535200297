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

/// Seconds from a new Launcher on `gameFolder` to "Ready to Play" over `entries`; nullopt when it did not get there.
/// Locations are taken against the current folder, as the launcher does: it becomes `gameFolder`.
inline std::optional<double> secondsToReady(const std::filesystem::path& gameFolder,
                                            const std::vector<FileEntry>& entries) {
    constexpr std::chrono::minutes limit{10};
    std::filesystem::current_path(gameFolder);
    const auto start = std::chrono::steady_clock::now();
    Launcher launcher(gameFolder.string());
    launcher.setLanguage(Language::English);
    launcher.startFileSync(entries);
    if (!launcher.waitUntilAllDone(limit) || launcher.statusText() != "Ready to Play")
        return std::nullopt;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
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
        std::optional<double> launcher;
        {
            const QuietOutput quiet;
            launcher = secondsToReady(gameFolder, entries);
        }
        bool peerOk = false;
        const double peer = secondsTaken([&] { peerOk = std::system(peerCommand.c_str()) == 0; });
        best.ok = launcher.has_value() && peerOk;
        best.ours = std::min(best.ours, launcher.value_or(best.ours));
        best.theirs = std::min(best.theirs, peer);
    }
    return best;
}

} // namespace bench_support
