// The digests a game file is checked by, fed block by block: MD5 always, SHA-256 as well when a signed file list
// gives one, since two files with one MD5 can be made at will.
#pragma once

#include "platform/Crypto.hpp"
#include "sync/Md5Digest.hpp"

#include <cstddef>
#include <optional>
#include <string>

/// A file's digests as lower-case hex; `sha256` is empty when it was not asked for.
struct FileDigests {
    std::string md5;
    std::string sha256{};

    /// True when these are what the list expects: the MD5 `checksum`, and `sha256` too unless it is empty. A digest
    /// that could not be computed never matches.
    [[nodiscard]] bool match(const std::string& checksum, const std::string& expectedSha256) const;
};

class FileDigest {
public:
    explicit FileDigest(bool withSha256);
    FileDigest(const FileDigest&) = delete;
    FileDigest& operator=(const FileDigest&) = delete;

    /// Adds `size` bytes to each digest; false when one could not take them or finish() was called.
    [[nodiscard]] bool update(const void* data, std::size_t size);
    /// The digests of everything added; empty texts once taken.
    [[nodiscard]] FileDigests finish();

private:
    Md5Digest m_md5;
    std::optional<platform::Sha256Digest> m_sha256;
};
