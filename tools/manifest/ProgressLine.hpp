// The one-line progress display on a terminal: files and bytes done of the totals, and the hashing speed.
#pragma once

#include "tools/manifest/HashPool.hpp"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

class ProgressLine {
public:
    /// Writes to `stream` (standard error); shows nothing when `enabled` is false.
    ProgressLine(std::FILE* stream, bool enabled, std::size_t totalFiles, std::uint64_t totalBytes);

    /// Redraws the line over the previous one.
    void update(const HashProgress& progress);
    /// Ends the line, so later messages start on a fresh one.
    void finish();

    /// The text of the line (without '\r'), for the given counters and elapsed seconds.
    [[nodiscard]] static std::string format(std::size_t filesDone, std::size_t totalFiles, std::uint64_t bytesDone,
                                            std::uint64_t totalBytes, double seconds);

private:
    std::FILE* m_stream;
    bool m_enabled;
    std::size_t m_totalFiles;
    std::uint64_t m_totalBytes;
    std::chrono::steady_clock::time_point m_start;
    std::size_t m_lastLength = 0;
    bool m_drawn = false;
};
