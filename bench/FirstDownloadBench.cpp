// Start to "Ready to Play" with one 1 GiB file to download from the bundled server, against md5sum of the same
// file: the transfer should hide behind the hash that has to be computed anyway.
#include "bench/BenchSupport.hpp"
#include "bench/SyncBenchSupport.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t fileSize = std::size_t{1} << 30;
constexpr int rounds = 3;
constexpr double targetRatio = 1.15;

} // namespace

int main() {
    const bench_support::BenchFolder folder;
    const fs::path files = folder.path() / "files";
    const fs::path game = folder.path() / "game";
    const fs::path served = files / "Data" / "big.MPQ";
    fs::create_directories(served.parent_path());
    std::ofstream(folder.path() / "document.json") << "{}";
    std::printf("Generating a %zu MiB file ...\n", fileSize >> 20);
    std::fflush(stdout);
    if (!bench_support::writeRandomFile(served.string(), fileSize, 5))
        return 1;
    std::string checksum;
    const std::string md5Command = "md5sum '" + served.string() + "' > '" + (folder.path() / "sum").string() + "'";
    if (std::system(md5Command.c_str()) != 0 || !(std::ifstream(folder.path() / "sum") >> checksum))
        return 1;

    const auto server = bench_support::startBundledServer(files, folder.path() / "document.json");
    if (!server)
        return 1;
    const std::vector<FileEntry> entries{
        FileEntry{0, 1, "Data/big.MPQ", checksum, server->baseUrl() + "files/Data/big.MPQ"}};
    const std::string peerCommand = "md5sum '" + served.string() + "' > /dev/null";

    const bench_support::BestOfRounds best = bench_support::bestFirstStarts(rounds, game, entries, peerCommand);
    const double ours = best.ours, theirs = best.theirs;
    if (!best.ok) {
        std::printf("first-download bench failed: the launcher did not get to \"Ready to Play\" or md5sum failed\n");
        return 1;
    }
    const double ratio = ours / theirs;
    std::printf("one %zu MiB file from the bundled server, best of %d\n", fileSize >> 20, rounds);
    std::printf("launcher to \"Ready to Play\": %.3f s; md5sum of the same file: %.3f s\n", ours, theirs);
    std::printf("ratio launcher / md5sum: %.2f (target <= %.2f) %s\n", ratio, targetRatio,
                ratio <= targetRatio ? "OK" : "SLOWER THAN TARGET");
    return 0;
}
