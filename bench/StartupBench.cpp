// Start-up over an up-to-date game folder against `md5sum -c` on the same files: the first start, which reads every
// file on every core, and the second, which trusts the verification records the first one left.
#include "bench/GameFolder.hpp"
#include "sync/Launcher.hpp"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int fileCount = 2000;
constexpr std::uintmax_t totalBytes = std::uintmax_t{1} << 30;
constexpr int rounds = 3;
constexpr std::chrono::minutes workerLimit{10};
constexpr double firstStartTarget = 0.65;
constexpr double secondStartTarget = 0.05;
// Nothing listens here: every file is already valid, so no download may ever be tried.
constexpr const char* unusedServer = "http://127.0.0.1:9/files/";

// One start; with `freshCache` the verification records of earlier starts are gone first.
double launcherSeconds(const fs::path& folder, const std::vector<FileEntry>& entries, const fs::path& cacheFile,
                       bool freshCache) {
    if (freshCache)
        fs::remove(cacheFile);
    const auto start = Clock::now();
    Launcher launcher(folder.string());
    launcher.setVerificationCache(cacheFile.string(), false);
    launcher.startFileSync(entries);
    if (!launcher.waitUntilAllDone(workerLimit) || launcher.statusText() != "Amade Bazi")
        return -1;
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double md5sumSeconds(const fs::path& folder) {
    const std::string command = "cd '" + folder.string() + "' && md5sum -c --quiet sums.md5 > /dev/null";
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0)
        return -1;
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

int main() {
    std::string pattern = (fs::temp_directory_path() / "varnhold-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        return 1;
    const fs::path folder = pattern;
    std::printf("Generating %d files, %ju MiB in all ...\n", fileCount, totalBytes >> 20);
    std::fflush(stdout);
    if (!bench_support::makeGameFolder(folder, fileCount, totalBytes / fileCount)) {
        std::printf("could not generate the folder\n");
        return 1;
    }
    const std::vector<FileEntry> entries = bench_support::readEntries(folder / "sums.md5", unusedServer);
    fs::current_path(folder);

    // The worker prints lines for every file; both sides write their output to /dev/null.
    std::fflush(stdout);
    const int console = ::dup(STDOUT_FILENO);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDOUT_FILENO);

    const fs::path cacheFile = folder.parent_path() / (folder.filename().string() + "-verified.txt");
    double firstBest = 1e9;
    double secondBest = 1e9;
    double md5sumBest = 1e9;
    bool failed = false;
    // Warm both: a first pass of each reads every file into the page cache before the measured rounds.
    failed |= md5sumSeconds(folder) < 0;
    for (int round = 0; round < rounds && !failed; ++round) {
        const double first = launcherSeconds(folder, entries, cacheFile, true);
        const double second = launcherSeconds(folder, entries, cacheFile, false);
        const double md5sum = md5sumSeconds(folder);
        failed |= first < 0 || second < 0 || md5sum < 0;
        firstBest = std::min(firstBest, first);
        secondBest = std::min(secondBest, second);
        md5sumBest = std::min(md5sumBest, md5sum);
    }

    std::fflush(stdout);
    ::dup2(console, STDOUT_FILENO);
    ::close(null);
    ::close(console);
    fs::current_path(folder.parent_path());
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    fs::remove(cacheFile, ignored);

    if (failed) {
        std::printf("startup bench failed: the worker did not finish or md5sum -c disagreed\n");
        return 1;
    }
    const auto report = [&](const char* what, double seconds, double target) {
        const double ratio = seconds / md5sumBest;
        std::printf("%s to \"Ready to Play\": %.3f s, md5sum -c: %.3f s, ratio %.3f (target <= %.2f) %s\n", what,
                    seconds, md5sumBest, ratio, target, ratio <= target ? "OK" : "SLOWER THAN TARGET");
    };
    std::printf("entries: %zu, %u hardware threads, best of %d rounds\n", entries.size(),
                std::thread::hardware_concurrency(), rounds);
    report("first start (no records)", firstBest, firstStartTarget);
    report("second start (records) ", secondBest, secondStartTarget);
    return 0;
}
