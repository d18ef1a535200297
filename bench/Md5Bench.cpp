// Times FileMd5 against the system's md5sum on the same page-cached file; the ratio should be 1.0 or more.
#include "sync/FileMd5.hpp"

#include "bench/BenchSupport.hpp"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace {

constexpr std::size_t defaultFileSize = std::size_t{1} << 30;
constexpr int rounds = 3;

struct PipeCloser {
    void operator()(FILE* pipe) const { pclose(pipe); }
};

std::string md5sumOf(const std::string& path) {
    const std::string command = "md5sum '" + path + "'";
    const std::unique_ptr<FILE, PipeCloser> pipe(popen(command.c_str(), "r"));
    char hex[33] = {};
    if (!pipe || std::fread(hex, 1, 32, pipe.get()) != 32) {
        return {};
    }
    return hex;
}

template <typename Run> double timeSeconds(Run run, std::string& result) {
    return bench_support::secondsTaken([&] { result = run(); });
}

} // namespace

int main(int argc, char** argv) {
    std::string path;
    std::filesystem::path ownFolder;
    if (argc > 1) {
        path = argv[1];
    } else {
        std::string pattern = (std::filesystem::temp_directory_path() / "varnhold-md5bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            std::fprintf(stderr, "cannot create a temporary folder\n");
            return 1;
        }
        ownFolder = pattern;
        path = (ownFolder / "big.bin").string();
        std::printf("writing %zu MiB to %s\n", defaultFileSize >> 20, path.c_str());
        if (!bench_support::writeRandomFile(path, defaultFileSize, 7)) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            std::filesystem::remove_all(ownFolder);
            return 1;
        }
    }
    const double megabytes = static_cast<double>(std::filesystem::file_size(path)) / 1e6;

    // One pass of each first, so both measure hashing of a page-cached file, not the disk.
    const std::string warm = FileMd5(path);
    (void)md5sumOf(path);

    // Rounds alternate, so a busy machine slows both contenders alike.
    std::string ours, theirs;
    double oursSeconds = 1e300, theirsSeconds = 1e300;
    for (int round = 0; round < rounds; ++round) {
        oursSeconds = std::min(oursSeconds, timeSeconds([&] { return FileMd5(path); }, ours));
        theirsSeconds = std::min(theirsSeconds, timeSeconds([&] { return md5sumOf(path); }, theirs));
    }

    if (!ownFolder.empty()) {
        std::filesystem::remove_all(ownFolder);
    }
    if (ours.empty() || ours != theirs || ours != warm) {
        std::fprintf(stderr, "digests differ: FileMd5 %s, md5sum %s\n", ours.c_str(), theirs.c_str());
        return 1;
    }
    std::printf("file: %.0f MB, best of %d\n", megabytes, rounds);
    std::printf("FileMd5: %.3f s, %.0f MB/s\n", oursSeconds, megabytes / oursSeconds);
    std::printf("md5sum:  %.3f s, %.0f MB/s\n", theirsSeconds, megabytes / theirsSeconds);
    std::printf("ratio FileMd5/md5sum throughput: %.2f (target >= 1.0)\n", theirsSeconds / oursSeconds);
    return 0;
}
