// The check-ahead threads: each takes the lowest job nobody has taken, so the required files, which lead the list,
// are hashed first and Play is not held up by optional files hashed out of turn.
#include "sync/CheckAhead.hpp"

#include "platform/Diagnostics.hpp"
#include "platform/ThreadPriority.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>

namespace {
// How often a waiting worker looks at the stop flag: well inside the second a close may take.
constexpr std::chrono::milliseconds stopPollInterval{100};
} // namespace

CheckAhead::CheckAhead(std::size_t jobs, Check check, unsigned threads, const StopFlag& stop)
    : m_check(std::move(check)), m_stop(stop), m_results(jobs), m_done(jobs, false) {
    if (threads == 0)
        threads = std::max(1U, std::thread::hardware_concurrency());
    const std::size_t count = std::min<std::size_t>(threads, jobs);
    try {
        for (std::size_t i = 0; i < count; ++i)
            m_threads.emplace_back(&CheckAhead::run, this);
    } catch (const std::exception& error) {
        // Fewer threads only make the checks slower; with none at all, await() runs each check itself.
        platform::Print("Could not start a checking thread: %s\n", error.what());
    }
}

CheckAhead::~CheckAhead() {
    {
        const std::lock_guard lock(m_mutex);
        m_next = m_results.size(); // no further jobs are taken
    }
    for (std::thread& thread : m_threads)
        thread.join();
}

void CheckAhead::run() {
    platform::LowerThreadPriority(); // as the file worker that waits for these checks
    for (;;) {
        std::size_t job = 0;
        {
            const std::lock_guard lock(m_mutex);
            if (m_next >= m_results.size() || m_stop)
                return;
            job = m_next++;
        }
        FileCheck result = m_check(job);
        const std::lock_guard lock(m_mutex);
        m_results[job] = std::move(result);
        m_done[job] = true;
        m_ready.notify_all();
    }
}

std::optional<FileCheck> CheckAhead::await(std::size_t job) {
    return await(job, std::chrono::milliseconds::max());
}

std::optional<FileCheck> CheckAhead::await(std::size_t job, std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    if (job >= m_results.size())
        return std::nullopt;
    if (m_threads.empty() && !m_done[job]) {
        // No thread could be started: the caller checks the file itself.
        lock.unlock();
        return m_stop ? std::nullopt : std::optional<FileCheck>(m_check(job));
    }
    const bool forever = timeout == std::chrono::milliseconds::max();
    const auto deadline =
        forever ? std::chrono::steady_clock::time_point::max() : std::chrono::steady_clock::now() + timeout;
    while (!m_done[job]) {
        const auto now = std::chrono::steady_clock::now();
        if (m_stop || now >= deadline)
            return std::nullopt;
        m_ready.wait_for(lock, forever
                                   ? stopPollInterval
                                   : std::min<std::chrono::steady_clock::duration>(stopPollInterval, deadline - now));
    }
    return m_results[job];
}
