// The small record beside a partial download: which address and checksum the bytes belong to, the server's
// validator, so a later run resumes only what is still the same file, and for a file fetched in pieces how far each
// piece had come.
#pragma once

#include "sync/FileEntry.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

/// One byte range [start, end) of a file fetched in several pieces at once; its first `written` bytes are in the
/// partial file.
struct ResumePiece {
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    std::uint64_t written = 0;

    friend bool operator==(const ResumePiece&, const ResumePiece&) = default;
};

struct ResumeRecord {
    std::string address;   // the file's address, without the query that defeats caches
    std::string checksum;  // the MD5 the list expected when the download began
    std::string validator; // the server's ETag, or its Last-Modified date; empty when it sent neither
    /// A file fetched in pieces: they follow each other from its first byte to its last. Empty for a file fetched
    /// as one stream, whose partial file holds its first bytes and nothing else.
    std::vector<ResumePiece> pieces{};

    friend bool operator==(const ResumeRecord&, const ResumeRecord&) = default;

    /// "<target>.varnhold-partial-info".
    [[nodiscard]] static std::string pathFor(const std::string& target);
    /// The record beside `target`; nullopt when there is none or it cannot be read whole.
    [[nodiscard]] static std::optional<ResumeRecord> load(const std::string& target);
    /// Replaces the record beside `target` in one step; false when it could not be written.
    [[nodiscard]] bool save(const std::string& target) const;
    /// Removes the record beside `target`, if any.
    static void remove(const std::string& target);
};

/// Removes, under `gameFolder`, every partial download (with its record) that no entry of `files` can resume:
/// its location is no longer listed, the list now expects another checksum, or its record is missing or unreadable.
/// The partial files of the full paths in `inUse` stay whatever their record says: another worker is writing them,
/// and it writes the record only once the server has answered.
void RemoveStalePartialDownloads(const std::string& gameFolder, const std::vector<FileEntry>& files,
                                 const std::vector<std::string>& inUse = {});
