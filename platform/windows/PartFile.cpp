// Writing beside the target and renaming at the end, so a reader never sees a half-written file.
#include "platform/PartFile.hpp"

#include "platform/windows/SystemPath.hpp"
#include "platform/windows/UniqueHandle.hpp"
#include "platform/windows/WideText.hpp"
#include "platform/windows/Win32.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

namespace platform {

namespace {

// Names already taken (a crashed earlier run with the same process id) are skipped, not overwritten.
constexpr int maxNameAttempts = 100;
// A virus scanner or an indexer often holds a freshly written target for a moment; the game holds its files for
// as long as it runs, which no pause outlasts, so the wait stays short and the caller's retry takes over.
constexpr int maxRenameRetries = 10;
constexpr std::chrono::milliseconds renameRetryPause{100};
// WriteFile counts in 32 bits.
constexpr std::size_t maxWriteSize = std::size_t{1} << 30;

std::atomic<unsigned> partCounter{0};

std::string osError(const char* what, const std::string& path, DWORD code) {
    return std::string(what) + " " + path + ": " + detail::systemErrorText(code);
}

bool isTransientRenameError(DWORD code) {
    return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION || code == ERROR_ACCESS_DENIED;
}

} // namespace

struct PartFile::Handle {
    detail::UniqueHandle file;
};

std::optional<PartFile> PartFile::create(const std::string& target, std::string& error) {
    if (target.empty()) {
        error = "no target file name";
        return std::nullopt;
    }
    for (int attempt = 0; attempt < maxNameAttempts; ++attempt) {
        std::string path =
            target + ".part-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(partCounter++);
        const std::wstring systemPath = detail::systemPath(path);
        // CREATE_NEW: two workers, or a stale file, never share one temporary file. Readers (a scanner) may look
        // in while it is written.
        detail::UniqueHandle file(CreateFileW(systemPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                              nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) {
            return PartFile(target, std::move(path), std::make_unique<Handle>(Handle{std::move(file)}));
        }
        const DWORD code = GetLastError();
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
            error = osError("cannot create", path, code);
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
        DeleteFileW(detail::systemPath(m_path).c_str());
    }
}

bool PartFile::append(const char* data, std::size_t size) {
    if (!m_handle || !m_handle->file) {
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
    if (!m_handle || !m_handle->file || !flush()) {
        return false;
    }
    if (!m_handle->file.close()) {
        m_error = osError("cannot close", m_path, GetLastError());
        return false;
    }
    const std::wstring from = detail::systemPath(m_path);
    const std::wstring to = detail::systemPath(m_target);
    for (int attempt = 0;; ++attempt) {
        // WRITE_THROUGH: the call returns once the rename is on disk, not merely in the cache.
        if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0) {
            m_committed = true;
            return true;
        }
        const DWORD code = GetLastError();
        if (!isTransientRenameError(code) || attempt == maxRenameRetries) {
            m_error = osError("cannot rename to", m_target, code);
            return false;
        }
        std::this_thread::sleep_for(renameRetryPause);
    }
}

bool PartFile::flush() {
    const std::size_t used = m_used;
    m_used = 0;
    return writeAll(m_buffer.get(), used);
}

bool PartFile::writeAll(const char* data, std::size_t size) {
    while (size > 0) {
        DWORD written = 0;
        if (WriteFile(m_handle->file.get(), data, static_cast<DWORD>(std::min(size, maxWriteSize)), &written,
                      nullptr) == 0) {
            m_error = osError("cannot write", m_path, GetLastError());
            m_handle->file.reset();
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

} // namespace platform
