// Checks the game files on every core ahead of the file worker, in list order, so that each result is ready or
// close to it when the worker reaches that entry; the worker still publishes and downloads strictly in order.
#pragma once

#include "sync/FileDigest.hpp"
#include "sync/StopFlag.hpp"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

/// What checking one file found.
struct FileCheck {
    FileDigests digests;    // empty when the file is missing or could not be read
    bool fromCache = false; // taken from the verification cache, the file was not read
};

class CheckAhead {
public:
    using Check = std::function<FileCheck(std::size_t job)>;

    /// Runs `check` for jobs 0 … jobs − 1 on up to `threads` threads (0: one per core), lowest job first.
    CheckAhead(std::size_t jobs, Check check, unsigned threads, const StopFlag& stop);
    /// Lets the running checks finish and joins the threads; jobs not started are not run.
    ~CheckAhead();
    CheckAhead(const CheckAhead&) = delete;
    CheckAhead& operator=(const CheckAhead&) = delete;

    /// Waits for the result of `job`; nullopt when `stop` was raised first.
    [[nodiscard]] std::optional<FileCheck> await(std::size_t job);
    /// The same, waiting at most `timeout`: nullopt also when the result is not there by then.
    [[nodiscard]] std::optional<FileCheck> await(std::size_t job, std::chrono::milliseconds timeout);

private:
    void run();

    Check m_check;
    const StopFlag& m_stop;
    std::mutex m_mutex; // guards m_next, m_results and m_done, and the wake-ups of m_ready
    std::condition_variable m_ready;
    std::size_t m_next = 0;
    std::vector<FileCheck> m_results;
    std::vector<bool> m_done;
    std::vector<std::thread> m_threads;
};
