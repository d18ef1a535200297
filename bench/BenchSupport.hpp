// What the benchmarks share: a large file of reproducible random bytes and a stopwatch.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace bench_support {

inline constexpr std::size_t fillBlockSize = std::size_t{1} << 20;

/// Writes `size` pseudo-random bytes from `seed`: they neither compress nor repeat, and every run gets the same.
inline bool writeRandomFile(const std::string& path, std::size_t size, std::uint64_t seed) {
    std::vector<char> block(fillBlockSize);
    std::mt19937_64 engine(seed);
    std::ofstream out(path, std::ios::binary);
    for (std::size_t written = 0; written < size && out; written += block.size()) {
        for (std::size_t i = 0; i < block.size(); i += sizeof(std::uint64_t)) {
            const std::uint64_t word = engine();
            std::memcpy(block.data() + i, &word, sizeof word);
        }
        out.write(block.data(), static_cast<std::streamsize>(std::min(block.size(), size - written)));
    }
    return static_cast<bool>(out);
}

/// The wall time `run` takes, in seconds.
template <typename Run> double secondsTaken(Run&& run) {
    const auto start = std::chrono::steady_clock::now();
    run();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return took.count();
}

} // namespace bench_support
