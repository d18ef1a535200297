// MD5 of one file read in large blocks, quietly: the tool's standard output carries the JSON document, so the
// launcher's FileMd5 (which prints a diagnostic line per file) cannot be used here.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <span>
#include <string>

struct Md5Result {
    std::string hex;   // 32 lower-case hex characters, empty on failure
    std::string error; // what failed, with the path
};

/// Reuses one digest context and one read buffer for many files; one instance per thread.
class StreamingMd5 {
public:
    /// Read blocks of at least 1 MiB: small reads let system-call cost dominate.
    static constexpr std::size_t defaultBlockSize = 1024 * 1024;

    explicit StreamingMd5(std::size_t blockSize = defaultBlockSize);
    ~StreamingMd5();
    StreamingMd5(const StreamingMd5&) = delete;
    StreamingMd5& operator=(const StreamingMd5&) = delete;

    /// Hashes the file at `path`; `onBytes` (when set) hears the size of every block read, for progress.
    [[nodiscard]] Md5Result hashFile(const std::string& path, const std::function<void(std::size_t)>& onBytes = {});

private:
    struct Context;
    std::unique_ptr<Context> m_context;
};
