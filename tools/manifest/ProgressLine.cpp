// Redraws with '\r' and pads with spaces over a longer previous line, so no terminal escape codes are needed.
#include "tools/manifest/ProgressLine.hpp"

namespace {

constexpr double bytesPerMiB = 1024.0 * 1024.0;
constexpr double bytesPerMB = 1000.0 * 1000.0;
constexpr double minSecondsForSpeed = 0.05;

} // namespace

ProgressLine::ProgressLine(std::FILE* stream, bool enabled, std::size_t totalFiles, std::uint64_t totalBytes)
    : m_stream(stream), m_enabled(enabled), m_totalFiles(totalFiles), m_totalBytes(totalBytes),
      m_start(std::chrono::steady_clock::now()) {}

std::string ProgressLine::format(std::size_t filesDone, std::size_t totalFiles, std::uint64_t bytesDone,
                                 std::uint64_t totalBytes, double seconds) {
    const double speed = seconds >= minSecondsForSpeed ? static_cast<double>(bytesDone) / bytesPerMB / seconds : 0.0;
    char line[160];
    std::snprintf(line, sizeof line, "Hashing: %zu/%zu files, %.1f/%.1f MiB, %.0f MB/s", filesDone, totalFiles,
                  static_cast<double>(bytesDone) / bytesPerMiB, static_cast<double>(totalBytes) / bytesPerMiB, speed);
    return line;
}

void ProgressLine::update(const HashProgress& progress) {
    if (!m_enabled) {
        return;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    const std::string line =
        format(progress.filesDone.load(), m_totalFiles, progress.bytesDone.load(), m_totalBytes, seconds);
    const std::size_t padding = m_lastLength > line.size() ? m_lastLength - line.size() : 0;
    std::fprintf(m_stream, "\r%s%*s", line.c_str(), static_cast<int>(padding), "");
    std::fflush(m_stream);
    m_lastLength = line.size();
    m_drawn = true;
}

void ProgressLine::finish() {
    if (m_enabled && m_drawn) {
        std::fputc('\n', m_stream);
        std::fflush(m_stream);
        m_drawn = false;
    }
}
