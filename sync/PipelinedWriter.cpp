// The writing thread takes full blocks in order, writes each to the file and adds it to the digest; the transfer's
// thread only copies bytes into blocks.
#include "sync/PipelinedWriter.hpp"

#include "platform/ThreadPriority.hpp"

#include <cstring>
#include <utility>

PipelinedWriter::PipelinedWriter(platform::PartFile& file, FileDigest& digest)
    : m_file(file), m_digest(digest), m_thread([this] {
          platform::LowerThreadPriority(); // hashing beside a download, below the window as the other workers
          run();
      }) {}

PipelinedWriter::~PipelinedWriter() {
    (void)finish();
}

bool PipelinedWriter::append(const char* data, std::size_t size) {
    while (size > 0) {
        if (!m_filling.bytes) {
            std::unique_lock lock(m_mutex);
            // Back-pressure: with every block queued, the transfer waits for the disk rather than piling up memory.
            m_changed.wait(lock, [this] { return m_failed || !m_spare.empty() || m_blocksOut < blockCount; });
            if (m_failed)
                return false;
            if (!m_spare.empty()) {
                m_filling = std::move(m_spare.back());
                m_spare.pop_back();
            } else {
                m_filling.bytes = std::make_unique_for_overwrite<char[]>(blockSize);
                ++m_blocksOut;
            }
            m_filling.used = 0;
        }
        const std::size_t take = std::min(size, blockSize - m_filling.used);
        std::memcpy(m_filling.bytes.get() + m_filling.used, data, take);
        m_filling.used += take;
        data += take;
        size -= take;
        if (m_filling.used == blockSize)
            hand(std::exchange(m_filling, Block{}));
    }
    const std::lock_guard lock(m_mutex);
    return !m_failed;
}

void PipelinedWriter::hand(Block block) {
    {
        const std::lock_guard lock(m_mutex);
        m_full.push_back(std::move(block));
    }
    m_changed.notify_all();
}

bool PipelinedWriter::finish() {
    if (!m_thread.joinable()) {
        const std::lock_guard lock(m_mutex);
        return !m_failed;
    }
    if (m_filling.bytes && m_filling.used > 0)
        hand(std::exchange(m_filling, Block{}));
    {
        const std::lock_guard lock(m_mutex);
        m_closing = true;
    }
    m_changed.notify_all();
    m_thread.join();
    return !m_failed;
}

void PipelinedWriter::run() {
    for (;;) {
        Block block;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return !m_full.empty() || m_closing; });
            if (m_full.empty())
                return; // closing, and everything is written
            block = std::move(m_full.front());
            m_full.erase(m_full.begin());
        }
        // After a failure the rest is dropped: the file must not get bytes with a gap before them.
        bool failed = false;
        {
            const std::lock_guard lock(m_mutex);
            failed = m_failed;
        }
        if (!failed) {
            failed = !m_file.append(block.bytes.get(), block.used) || !m_digest.update(block.bytes.get(), block.used);
        }
        {
            const std::lock_guard lock(m_mutex);
            m_failed = m_failed || failed;
            m_spare.push_back(std::move(block));
        }
        m_changed.notify_all();
    }
}
