// FileMd5 alone on one given file, best of a few passes: the half of bench/md5-under-wine.sh that runs inside Wine,
// timed in the process so that Wine's own start-up does not count.
#include "sync/FileMd5.hpp"

#include "bench/BenchSupport.hpp"

#include <algorithm>
#include <cstdio>
#include <string>

namespace {
constexpr int rounds = 3;
} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench-FileMd5Bench FILE\n");
        return 2;
    }
    const std::string path = argv[1];
    std::string digest = FileMd5(path); // one pass first, so every timed one reads a page-cached file
    double best = 1e300;
    for (int round = 0; round < rounds; ++round) {
        std::string again;
        best = std::min(best, bench_support::secondsTaken([&] { again = FileMd5(path); }));
        if (again != digest)
            digest.clear();
    }
    if (digest.empty()) {
        std::fprintf(stderr, "no stable digest for %s\n", path.c_str());
        return 1;
    }
    std::printf("digest %s seconds %.3f\n", digest.c_str(), best);
    return 0;
}
