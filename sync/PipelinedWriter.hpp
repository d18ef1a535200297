// A download's bytes written to its partial file and fed to its digests on a thread of its own, so the hash of a large
// file runs beside the transfer instead of holding up each received block.
#pragma once

#include "platform/PartFile.hpp"
#include "sync/FileDigest.hpp"

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class PipelinedWriter {
public:
    static constexpr std::size_t blockSize = 1024 * 1024;
    static constexpr std::size_t blockCount = 4; // enough to ride out a slow write; bounded, so memory is too

    /// Starts the writing thread; `file` and `digest` must outlive the object and are not touched meanwhile.
    PipelinedWriter(platform::PartFile& file, FileDigest& digest);
    /// Finishes (see finish()) and joins the thread.
    ~PipelinedWriter();
    PipelinedWriter(const PipelinedWriter&) = delete;
    PipelinedWriter& operator=(const PipelinedWriter&) = delete;

    /// Queues `size` bytes, waiting while every block is in use; false once a write has failed.
    [[nodiscard]] bool append(const char* data, std::size_t size);
    /// Writes and hashes everything queued, then stops the thread; true when every byte was written.
    [[nodiscard]] bool finish();

private:
    struct Block {
        std::unique_ptr<char[]> bytes;
        std::size_t used = 0;
    };
    void run();
    void hand(Block block);

    platform::PartFile& m_file;
    FileDigest& m_digest;
    Block m_filling; // the block append() copies into, owned by the calling thread

    std::mutex m_mutex; // guards the fields below
    std::condition_variable m_changed;
    std::vector<Block> m_full;   // waiting to be written, oldest first
    std::vector<Block> m_spare;  // written, ready to fill again
    std::size_t m_blocksOut = 0; // blocks allocated so far
    bool m_closing = false;
    bool m_failed = false;

    std::thread m_thread;
};
