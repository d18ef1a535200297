// Diagnostic lines: printed on standard output or standard error as ever, and also kept in a log file of the run,
// since a program started from a desktop menu has no console a player could copy them from.
#pragma once

#include <filesystem>
#include <ostream>
#include <string_view>

namespace platform {

/// printf to standard output, written whole under one lock (lines from several threads never mix), and also to
/// the run's log while one is open: the texts stay exactly as they were printed.
[[gnu::format(printf, 1, 2)]] void Print(const char* format, ...);

/// The same on standard error.
[[gnu::format(printf, 1, 2)]] void PrintError(const char* format, ...);

/// A stream whose every finished line goes through PrintError, for libraries that report to an ostream.
[[nodiscard]] std::ostream& ErrorLineStream();

/// The log file of this run: while it lives, every diagnostic line is also written to it, flushed line by line so
/// that nothing is lost when the process ends abruptly.
class RunLog {
public:
    /// Logs of older runs beyond this many (this one included) are removed.
    inline static constexpr std::size_t keptRuns = 5;
    inline static constexpr std::string_view namePrefix = "launcher-";
    inline static constexpr std::string_view nameSuffix = ".log";

    /// Starts a new log in `folder`, which is created when missing, named after the local time it starts at
    /// ("launcher-2026-12-08-101135.log"), and removes all but the newest `keptRuns` logs there. Without a folder,
    /// or when the file cannot be created, the lines are only printed.
    explicit RunLog(const std::filesystem::path& folder);
    ~RunLog();
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;

    /// True while the lines go into a file.
    [[nodiscard]] explicit operator bool() const noexcept { return !m_path.empty(); }
    /// The file the lines go into; empty when there is none.
    [[nodiscard]] const std::filesystem::path& path() const noexcept { return m_path; }

private:
    std::filesystem::path m_path;
};

} // namespace platform
