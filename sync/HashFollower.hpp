// The digests of a file that arrives in pieces side by side, taken on a thread of its own: it reads the partial file
// back in order, as far as the pieces have filled it from its first byte, so the hash keeps pace with the transfers
// instead of waiting for the last byte.
#pragma once

#include "sync/FileDigest.hpp"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

class HashFollower {
public:
    /// Starts hashing the file at `path` from its first byte (SHA-256 too when `withSha256`); nothing beyond what
    /// advance() allows is read.
    HashFollower(std::string path, bool withSha256);
    /// Stops reading and joins the thread.
    ~HashFollower();
    HashFollower(const HashFollower&) = delete;
    HashFollower& operator=(const HashFollower&) = delete;

    /// The first `ready` bytes of the file are written and will not change.
    void advance(std::uint64_t ready);
    /// Hashes the file up to `size` bytes (all of it written) and ends the thread: the digests as hex, empty when
    /// the file could not be read that far.
    [[nodiscard]] FileDigests finish(std::uint64_t size);

private:
    void run();

    const std::string m_path;
    FileDigest m_digest; // the thread's until finish() has joined it

    std::mutex m_mutex; // guards the fields below
    std::condition_variable m_changed;
    std::uint64_t m_ready = 0;
    std::uint64_t m_hashed = 0;
    bool m_closing = false;
    bool m_failed = false;

    std::thread m_thread;
};
