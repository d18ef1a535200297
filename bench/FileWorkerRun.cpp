// The launcher's file worker alone, without a window, over a list read from a file: what bench/links-bench.sh runs
// in the client namespace of the emulated link, against aria2c and curl on the same list.
//
//   bench-FileWorkerRun LIST GAME_FOLDER [CONNECTIONS]
//
// LIST holds one entry a line, its fields separated by tabs: required (0 or 1), MD5, location, address. Prints
// "play <seconds>" and "ready <seconds>", from a new Launcher to Play and to "Ready to Play"; exit status 1 when it
// did not get there. The verification records go where the launcher keeps them ($XDG_CACHE_HOME). CONNECTIONS is
// what a document's "connections" would say (default 8).
#include "bench/SyncBenchSupport.hpp"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

constexpr std::chrono::hours runLimit{2};

std::optional<std::vector<FileEntry>> readList(const fs::path& path) {
    std::ifstream in(path);
    if (!in)
        return std::nullopt;
    std::vector<FileEntry> entries;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        FileEntry entry;
        std::string required;
        if (!std::getline(fields, required, '\t') || !std::getline(fields, entry.checksum, '\t') ||
            !std::getline(fields, entry.location, '\t') || !std::getline(fields, entry.URL))
            return std::nullopt;
        entry.required = required == "1" ? 1 : 0;
        entries.push_back(std::move(entry));
    }
    return entries;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: %s LIST GAME_FOLDER [CONNECTIONS]\n", argv[0]);
        return 2;
    }
    const unsigned connections =
        argc == 4 ? static_cast<unsigned>(std::atoi(argv[3])) : DownloadOptions::defaultConnections;
    const std::optional<std::vector<FileEntry>> entries = readList(argv[1]);
    if (!entries) {
        std::fprintf(stderr, "cannot read the list %s\n", argv[1]);
        return 2;
    }
    const fs::path game = fs::absolute(argv[2]);
    std::error_code error;
    fs::create_directories(game, error);
    std::optional<bench_support::StartTimes> times;
    {
        const bench_support::QuietOutput quiet;
        times =
            bench_support::timeStart(game, *entries, runLimit, VerificationCache::fileFor(game.string()), connections);
    }
    if (!times) {
        std::printf("the file worker did not get to \"Ready to Play\"\n");
        return 1;
    }
    std::printf("play %.3f\nready %.3f\n", times->play, times->ready);
    return 0;
}
