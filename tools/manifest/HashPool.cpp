// Work stealing through one atomic index over the files sorted by size, largest first, so that one big file
// started last cannot leave the other cores idle at the end.
#include "tools/manifest/HashPool.hpp"

#include "sync/FileMd5.hpp"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <numeric>
#include <thread>

namespace {

struct SharedWork {
    SharedWork(const std::vector<ScannedFile>& list, bool sha256)
        : files(list), withSha256(sha256), checksums(list.size()), sha256s(sha256 ? list.size() : 0) {}

    const std::vector<ScannedFile>& files;
    const bool withSha256;
    std::vector<std::size_t> order; // file indices, largest first
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    HashProgress progress;

    std::mutex mutex; // guards error, running and the wake-ups of `finished`
    std::condition_variable finished;
    std::string error;
    unsigned running = 0;

    std::vector<std::string> checksums; // each slot written by the one worker that took its file
    std::vector<std::string> sha256s;   // the same
};

void worker(SharedWork& work) {
    const auto countBytes = [&work](std::size_t bytes) {
        work.progress.bytesDone.fetch_add(bytes, std::memory_order_relaxed);
    };
    while (!work.failed.load(std::memory_order_relaxed)) {
        const std::size_t slot = work.next.fetch_add(1, std::memory_order_relaxed);
        if (slot >= work.order.size()) {
            break;
        }
        const std::size_t index = work.order[slot];
        const std::string path = work.files[index].path.string();
        FileHash result = hashFile(path, countBytes, work.withSha256);
        if (result.hex.empty()) {
            const std::lock_guard lock(work.mutex);
            if (!work.failed.exchange(true)) {
                work.error = result.describe(path);
            }
            break;
        }
        work.checksums[index] = std::move(result.hex);
        if (work.withSha256)
            work.sha256s[index] = std::move(result.sha256);
        work.progress.filesDone.fetch_add(1, std::memory_order_relaxed);
    }
    const std::lock_guard lock(work.mutex);
    --work.running;
    work.finished.notify_all();
}

} // namespace

HashPoolResult hashFiles(const std::vector<ScannedFile>& files, const HashPoolOptions& options) {
    SharedWork work(files, options.withSha256);
    work.order.resize(files.size());
    std::iota(work.order.begin(), work.order.end(), std::size_t{0});
    std::stable_sort(work.order.begin(), work.order.end(),
                     [&files](std::size_t a, std::size_t b) { return files[a].size > files[b].size; });

    unsigned threadCount = options.threads != 0 ? options.threads : std::thread::hardware_concurrency();
    threadCount = std::max(1U, threadCount);
    if (files.size() < threadCount) {
        threadCount = std::max(1U, static_cast<unsigned>(files.size()));
    }

    std::vector<std::thread> threads;
    threads.reserve(threadCount);
    {
        const std::lock_guard lock(work.mutex);
        work.running = threadCount;
    }
    for (unsigned i = 0; i < threadCount; ++i) {
        threads.emplace_back(worker, std::ref(work));
    }
    {
        std::unique_lock lock(work.mutex);
        while (work.running != 0) {
            work.finished.wait_for(lock, options.tickInterval);
            if (options.onTick && work.running != 0) {
                lock.unlock();
                options.onTick(work.progress);
                lock.lock();
            }
        }
    }
    for (auto& thread : threads) {
        thread.join();
    }
    if (options.onTick) {
        options.onTick(work.progress);
    }

    HashPoolResult result;
    if (work.failed.load()) {
        result.error = work.error;
        return result;
    }
    result.ok = true;
    result.checksums = std::move(work.checksums);
    result.sha256s = std::move(work.sha256s);
    return result;
}
