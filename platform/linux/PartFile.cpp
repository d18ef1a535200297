// Writing beside the target and renaming at the end, so a reader never sees a half-written file.
#include "platform/PartFile.hpp"

#include "platform/linux/UniqueFd.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace platform {

namespace {

// Names already taken (a crashed earlier run with the same pid) are skipped, not overwritten.
constexpr int maxNameAttempts = 100;

std::atomic<unsigned> partCounter{0};

std::string osError(const char* what, const std::string& path, int error) {
    return std::string(what) + " " + path + ": " + std::strerror(error);
}

} // namespace

struct PartFile::Handle {
    UniqueFd fd;
};

std::optional<PartFile> PartFile::create(const std::string& target, std::string& error) {
    if (target.empty()) {
        error = "no target file name";
        return std::nullopt;
    }
    for (int attempt = 0; attempt < maxNameAttempts; ++attempt) {
        std::string path = target + ".part-" + std::to_string(::getpid()) + "-" + std::to_string(partCounter++);
        // O_EXCL: two workers, or a stale file, never share one temporary file.
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            return PartFile(target, std::move(path), std::make_unique<Handle>(Handle{UniqueFd(fd)}));
        }
        if (errno != EEXIST) {
            error = osError("cannot create", path, errno);
            return std::nullopt;
        }
    }
    error = "no free temporary name beside " + target;
    return std::nullopt;
}

PartFile::PartFile(std::string target, std::string path, std::unique_ptr<Handle> handle)
    : m_target(std::move(target)), m_path(std::move(path)), m_handle(std::move(handle)) {}

PartFile::PartFile(PartFile&&) noexcept = default;

PartFile::~PartFile() {
    // A moved-from object has no path and owns nothing on disk.
    if (!m_committed && !m_path.empty()) {
        m_handle.reset();
        ::unlink(m_path.c_str());
    }
}

bool PartFile::append(const char* data, std::size_t size) {
    if (!m_handle || !m_handle->fd) {
        return false;
    }
    // Large blocks go straight to the file; small ones are gathered so the disk sees few, large writes.
    if (m_used + size > bufferSize && !flush()) {
        return false;
    }
    if (size >= bufferSize) {
        return writeAll(data, size);
    }
    if (!m_buffer) {
        m_buffer = std::make_unique_for_overwrite<char[]>(bufferSize);
    }
    std::memcpy(m_buffer.get() + m_used, data, size);
    m_used += size;
    return true;
}

bool PartFile::commit() {
    if (!m_handle || !m_handle->fd || !flush()) {
        return false;
    }
    if (!m_handle->fd.close()) {
        m_error = osError("cannot close", m_path, errno);
        return false;
    }
    if (std::rename(m_path.c_str(), m_target.c_str()) != 0) {
        m_error = osError("cannot rename to", m_target, errno);
        return false;
    }
    m_committed = true;
    return true;
}

bool PartFile::flush() {
    const std::size_t used = m_used;
    m_used = 0;
    return writeAll(m_buffer.get(), used);
}

bool PartFile::writeAll(const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(m_handle->fd.get(), data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            m_error = osError("cannot write", m_path, errno);
            m_handle->fd.reset();
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

} // namespace platform
