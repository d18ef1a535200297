// The small record beside a partial download: which address and checksum the bytes belong to, and the server's
// validator, so a later run resumes only what is still the same file.
#pragma once

#include "sync/FileEntry.hpp"

#include <optional>
#include <string>
#include <vector>

struct ResumeRecord {
    std::string address;   // the file's address, without the query that defeats caches
    std::string checksum;  // the MD5 the list expected when the download began
    std::string validator; // the server's ETag, or its Last-Modified date; empty when it sent neither

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
void RemoveStalePartialDownloads(const std::string& gameFolder, const std::vector<FileEntry>& files);
