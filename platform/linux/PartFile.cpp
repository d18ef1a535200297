// Writing beside the target and renaming at the end, so a reader never sees a half-written file.
#include "platform/PartFile.hpp"

#include "platform/linux/UniqueFd.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string_view>

namespace platform {

namespace {

// Names already taken (a crashed earlier run with the same pid) are skipped, not overwritten.
constexpr int maxNameAttempts = 100;

std::atomic<unsigned> partCounter{0};

// The kernel gives up on link chains longer than this as well (ELOOP).
constexpr int maxLinkHops = 40;
constexpr mode_t anyWrite = S_IWUSR | S_IWGRP | S_IWOTH;

std::string osError(const char* what, const std::string& path, int error) {
    return std::string(what) + " " + path + ": " + std::strerror(error);
}

bool isOutOfSpace(int error) {
    return error == ENOSPC || error == EDQUOT;
}

// The file a chain of symbolic links at `path` ends in; `path` itself when it is no link. A dangling link gives
// the name it points to, so that the write creates the file the link expects.
std::optional<std::string> followLinks(std::string path, std::string& error) {
    for (int hop = 0; hop < maxLinkHops; ++hop) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            return path;
        }
        std::string next(PATH_MAX, '\0');
        const ssize_t length = ::readlink(path.c_str(), next.data(), next.size());
        if (length < 0 || static_cast<std::size_t>(length) >= next.size()) {
            error = osError("cannot read the link", path, length < 0 ? errno : EOVERFLOW);
            return std::nullopt;
        }
        next.resize(static_cast<std::size_t>(length));
        if (next.empty() || next.front() != '/') {
            const std::size_t slash = path.rfind('/');
            next = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + next;
        }
        path = std::move(next);
    }
    error = osError("cannot follow the links at", path, ELOOP);
    return std::nullopt;
}

} // namespace

struct PartFile::Handle {
    UniqueFd fd;
};

std::optional<PartFile> PartFile::create(const std::string& target, std::string& error, const ReplaceOptions& options) {
    if (target.empty()) {
        error = "no target file name";
        return std::nullopt;
    }
    std::optional<std::string> replaced = options.throughLink ? followLinks(target, error) : target;
    if (!replaced) {
        return std::nullopt;
    }
    struct stat existing {};
    const bool keepMode = options.keepMode && ::stat(replaced->c_str(), &existing) == 0;
    for (int attempt = 0; attempt < maxNameAttempts; ++attempt) {
        std::string path = *replaced + ".part-" + std::to_string(::getpid()) + "-" + std::to_string(partCounter++);
        // O_EXCL: two workers, or a stale file, never share one temporary file; nor is a link of that name followed.
        UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (fd) {
            // The mode is set on the open descriptor, so a read-only mode does not stop the writes to come.
            if (keepMode && ::fchmod(fd.get(), existing.st_mode & 07777) != 0) {
                error = osError("cannot set the permissions of", path, errno);
                fd.reset();
                ::unlink(path.c_str());
                return std::nullopt;
            }
            PartFile file(std::move(*replaced), std::move(path), std::make_unique<Handle>(Handle{std::move(fd)}));
            file.m_options = options;
            return file;
        }
        if (errno != EEXIST) {
            error = osError("cannot create", path, errno);
            return std::nullopt;
        }
    }
    error = "no free temporary name beside " + *replaced;
    return std::nullopt;
}

bool PartFile::isReadOnly(const std::string& target) {
    struct stat info {};
    if (::stat(target.c_str(), &info) != 0) {
        return false;
    }
    // The mode bits first: access() grants root everything, but a file nobody may write is meant to stay.
    return (info.st_mode & anyWrite) == 0 || (::access(target.c_str(), W_OK) != 0 && errno != ENOENT);
}

std::string PartFile::resumePath(const std::string& target) {
    return target + resumeSuffix;
}

std::optional<PartFile> PartFile::resume(const std::string& target, std::string& error) {
    if (target.empty()) {
        error = "no target file name";
        return std::nullopt;
    }
    std::string path = resumePath(target);
    // O_APPEND: whatever an earlier run left stays in front of what this one writes.
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666));
    struct stat info {};
    if (!fd || ::fstat(fd.get(), &info) != 0) {
        error = osError("cannot open", path, errno);
        return std::nullopt;
    }
    if (!S_ISREG(info.st_mode)) {
        error = "not a file: " + path;
        return std::nullopt;
    }
    PartFile file(target, std::move(path), std::make_unique<Handle>(Handle{std::move(fd)}));
    file.m_size = static_cast<std::uint64_t>(info.st_size);
    file.m_keep = true;
    return file;
}

std::vector<std::string> PartFile::findResumable(const std::string& folder) {
    std::vector<std::string> targets;
    const std::string_view suffix = resumeSuffix;
    std::error_code error;
    // Unreadable folders are passed over: what cannot be listed cannot be cleaned either.
    std::filesystem::recursive_directory_iterator walk(
        folder, std::filesystem::directory_options::skip_permission_denied, error);
    for (const std::filesystem::recursive_directory_iterator end; !error && walk != end; walk.increment(error)) {
        const std::string path = walk->path().string();
        if (path.size() > suffix.size() && std::string_view(path).ends_with(suffix) && walk->is_regular_file(error)) {
            targets.push_back(path.substr(0, path.size() - suffix.size()));
        }
    }
    return targets;
}

PartFile::PartFile(std::string target, std::string path, std::unique_ptr<Handle> handle)
    : m_target(std::move(target)), m_path(std::move(path)), m_handle(std::move(handle)) {}

PartFile::PartFile(PartFile&&) noexcept = default;

PartFile::~PartFile() {
    // A moved-from object has no path and owns nothing on disk.
    if (m_committed || m_path.empty()) {
        return;
    }
    if (m_keep) {
        // The next run goes on from what reached the disk; a failed write here only means a little more to fetch.
        if (m_handle && m_handle->fd) {
            (void)flush();
        }
        return;
    }
    m_handle.reset();
    ::unlink(m_path.c_str());
}

bool PartFile::restart() {
    if (!m_handle || !m_handle->fd) {
        return false;
    }
    m_used = 0;
    if (::ftruncate(m_handle->fd.get(), 0) != 0) {
        m_error = osError("cannot empty", m_path, errno);
        return false;
    }
    m_size = 0;
    return true;
}

void PartFile::discard() {
    m_handle.reset();
    m_used = 0;
    if (!m_path.empty()) {
        ::unlink(m_path.c_str());
    }
    m_committed = true; // nothing left for the destructor to keep or remove
}

bool PartFile::append(const char* data, std::size_t size) {
    if (!m_handle || !m_handle->fd) {
        return false;
    }
    m_size += size;
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
    if (m_options.durable && ::fsync(m_handle->fd.get()) != 0) {
        m_error = osError("cannot write", m_path, errno);
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
            m_outOfSpace = isOutOfSpace(errno);
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
