// 2,000 files of 32 KiB from the bundled server: the launcher to "Ready to Play" against one curl process that
// fetches the same addresses over one kept-alive connection.
#include "bench/BenchSupport.hpp"
#include "bench/SyncBenchSupport.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace fs = std::filesystem;

namespace {

constexpr int fileCount = 2000;
constexpr std::size_t fileSize = 32 * 1024;
constexpr int rounds = 3;
constexpr double targetRatio = 1.0;

} // namespace

int main() {
    const bench_support::BenchFolder folder;
    const fs::path files = folder.path() / "files";
    const fs::path game = folder.path() / "game";
    const fs::path fetched = folder.path() / "curl";
    fs::create_directories(files / "Data");
    std::ofstream(folder.path() / "document.json") << "{}";
    std::printf("Generating %d files of %zu KiB ...\n", fileCount, fileSize / 1024);
    std::vector<std::string> names;
    for (int i = 0; i < fileCount; ++i) {
        const std::string name = "Data/file" + std::to_string(i) + ".bin";
        if (!bench_support::writeRandomFile((files / name).string(), fileSize, static_cast<unsigned>(i + 1)))
            return 1;
        names.push_back(name);
    }
    const std::string sumsCommand = "cd '" + files.string() + "' && md5sum Data/*.bin > ../sums.md5";
    if (std::system(sumsCommand.c_str()) != 0)
        return 1;

    const auto server = bench_support::startBundledServer(files, folder.path() / "document.json");
    if (!server)
        return 1;
    const std::string base = server->baseUrl() + "files/";
    std::vector<FileEntry> entries;
    {
        std::ifstream sums(folder.path() / "sums.md5");
        std::string checksum, name;
        while (sums >> checksum >> name)
            entries.push_back(FileEntry{0, 1, name, checksum, base + name});
    }
    // One curl process, every address in its config: it keeps one connection for all of them.
    const fs::path config = folder.path() / "curl.config";
    {
        std::ofstream out(config);
        for (const std::string& name : names)
            out << "url = \"" << base << name << "\"\noutput = \"" << (fetched / name).string() << "\"\n";
    }
    const std::string curlCommand = "curl -s --fail --create-dirs -K '" + config.string() + "'";

    bench_support::BestOfRounds best;
    best.ok = entries.size() == static_cast<std::size_t>(fileCount);
    if (best.ok)
        best = bench_support::bestFirstStarts(rounds, game, entries, curlCommand, {fetched});
    const double ours = best.ours, theirs = best.theirs;
    if (!best.ok) {
        std::printf("small-files bench failed: the launcher did not get to \"Ready to Play\" or curl failed\n");
        return 1;
    }
    const double ratio = ours / theirs;
    std::printf("%d files of %zu KiB from the bundled server, best of %d\n", fileCount, fileSize / 1024, rounds);
    std::printf("launcher to \"Ready to Play\": %.3f s; one curl process, one connection: %.3f s\n", ours, theirs);
    std::printf("ratio launcher / curl: %.2f (target <= %.1f) %s\n", ratio, targetRatio,
                ratio <= targetRatio ? "OK" : "SLOWER THAN TARGET");
    return 0;
}
