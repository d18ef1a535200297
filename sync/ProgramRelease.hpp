// A build of the launcher itself, as a signed server document offers it for this OS.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct ProgramRelease {
    std::string URL;
    std::optional<std::uint64_t> size; // bytes; a release without it is never taken
    std::string sha256;                // 64 lower-case hex characters

    friend bool operator==(const ProgramRelease&, const ProgramRelease&) = default;
};

/// How the download of a newer launcher program stands.
enum class ProgramDownload { Idle, Running, Ready, Failed, Stopped };

/// True when the file at `path` has the release's size and SHA-256; otherwise false, with one line on the standard
/// output that says which of the two differs (nothing is printed for a missing file).
[[nodiscard]] bool ProgramFileMatches(const std::string& path, const ProgramRelease& release);
