// The follower reads through its own handle what the transfers have written through theirs: the bytes come from
// the file system's cache, so reading them again costs far less than the transfers that brought them.
#include "sync/HashFollower.hpp"

#include "platform/InputFile.hpp"
#include "platform/ThreadPriority.hpp"

#include <algorithm>
#include <memory>
#include <optional>

namespace {

constexpr std::size_t readBlock = 1024 * 1024;

} // namespace

HashFollower::HashFollower(std::string path, bool withSha256)
    : m_path(std::move(path)), m_digest(withSha256), m_thread([this] {
          platform::LowerThreadPriority(); // hashing beside the downloads, below the window as the other workers
          run();
      }) {}

HashFollower::~HashFollower() {
    {
        const std::lock_guard lock(m_mutex);
        m_closing = true;
        m_ready = m_hashed; // nothing more is read
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void HashFollower::advance(std::uint64_t ready) {
    {
        const std::lock_guard lock(m_mutex);
        if (ready <= m_ready)
            return;
        m_ready = ready;
    }
    m_changed.notify_all();
}

FileDigests HashFollower::finish(std::uint64_t size) {
    {
        const std::lock_guard lock(m_mutex);
        m_ready = std::max(m_ready, size);
        m_closing = true;
    }
    m_changed.notify_all();
    m_thread.join();
    if (m_failed || m_hashed != size)
        return {};
    return m_digest.finish();
}

void HashFollower::run() {
    int error = 0;
    std::optional<platform::InputFile> input;
    const auto buffer = std::make_unique_for_overwrite<char[]>(readBlock);
    for (;;) {
        std::size_t want = 0;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return m_ready > m_hashed || m_closing; });
            if (m_ready <= m_hashed)
                return; // closing, and everything allowed is hashed
            want = static_cast<std::size_t>(std::min<std::uint64_t>(readBlock, m_ready - m_hashed));
        }
        // Opened at the first byte to read: the partial file may not exist before the first piece arrives.
        if (!input)
            input = platform::InputFile::open(m_path, error);
        const long long got = input ? input->read(buffer.get(), want) : -1;
        const bool failed = got <= 0 || !m_digest.update(buffer.get(), static_cast<std::size_t>(got));
        const std::lock_guard lock(m_mutex);
        if (failed) {
            m_failed = true;
            return;
        }
        m_hashed += static_cast<std::uint64_t>(got);
    }
}
