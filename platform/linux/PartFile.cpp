// The Linux calls behind PartFile: exclusive creation, descriptors, pwrite(), fsync() and rename().
#include "platform/PartFile.hpp"

#include "platform/linux/UniqueFd.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

namespace platform {

namespace {

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

void PartFile::HandleDeleter::operator()(Handle* handle) const noexcept {
    std::default_delete<Handle>()(handle);
}

std::optional<std::string> PartFile::fileBehindLinks(const std::string& target, std::string& error) {
    return followLinks(target, error);
}

PartFile::HandlePtr PartFile::createNew(const std::string& path, const std::string& replaced,
                                        const ReplaceOptions& options, bool& taken, std::string& error) {
    struct stat existing {};
    const bool keepMode = options.keepMode && ::stat(replaced.c_str(), &existing) == 0;
    // O_EXCL: two workers, or a stale file, never share one temporary file; nor is a link of that name followed.
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!fd) {
        taken = errno == EEXIST;
        if (!taken) {
            error = osError("cannot create", path, errno);
        }
        return nullptr;
    }
    // The mode is set on the open descriptor, so a read-only mode does not stop the writes to come.
    if (keepMode && ::fchmod(fd.get(), existing.st_mode & 07777) != 0) {
        error = osError("cannot set the permissions of", path, errno);
        fd.reset();
        ::unlink(path.c_str());
        return nullptr;
    }
    return HandlePtr(std::make_unique<Handle>(Handle{std::move(fd)}).release());
}

PartFile::HandlePtr PartFile::openForResume(const std::string& path, std::uint64_t& size, std::string& error) {
    // Anything but a file under this name was not left by a download: a link would have the download written into
    // whatever it leads to, a FIFO would hold the open for ever. It goes, and the download starts over.
    struct stat found {};
    if (::lstat(path.c_str(), &found) == 0 && !S_ISREG(found.st_mode) &&
        (S_ISDIR(found.st_mode) ? ::rmdir(path.c_str()) : ::unlink(path.c_str())) != 0) {
        error = osError("cannot remove", path, errno);
        return nullptr;
    }
    // Not O_APPEND: the writes name their place (after what an earlier run left, or a piece's own place), and
    // Linux would put every positioned write at the end of an O_APPEND file. O_NOFOLLOW and O_NONBLOCK: a link or a
    // FIFO made in the moment since the look above makes the open fail instead.
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0666));
    struct stat info {};
    if (!fd || ::fstat(fd.get(), &info) != 0) {
        error = osError("cannot open", path, errno);
        return nullptr;
    }
    if (!S_ISREG(info.st_mode)) {
        error = "not a file: " + path;
        return nullptr;
    }
    size = static_cast<std::uint64_t>(info.st_size);
    return HandlePtr(std::make_unique<Handle>(Handle{std::move(fd)}).release());
}

unsigned long PartFile::processId() {
    return static_cast<unsigned long>(::getpid());
}

std::vector<PartFile::FolderEntry> PartFile::listFolder(const std::string& folder) {
    struct DirCloser {
        void operator()(DIR* dir) const { ::closedir(dir); }
    };
    std::vector<FolderEntry> entries;
    const std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
    if (!dir)
        return entries;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        unsigned char type = entry->d_type;
        // Some file systems do not say; lstat does, without following a link.
        struct stat info {};
        if (type == DT_UNKNOWN && ::fstatat(::dirfd(dir.get()), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0)
            type = S_ISDIR(info.st_mode) ? DT_DIR : S_ISREG(info.st_mode) ? DT_REG : DT_UNKNOWN;
        if (type == DT_DIR || type == DT_REG)
            entries.push_back(FolderEntry{std::string(name), type == DT_DIR});
    }
    return entries;
}

void PartFile::removeFile(const std::string& path) {
    ::unlink(path.c_str());
}

bool PartFile::isReadOnly(const std::string& target) {
    struct stat info {};
    if (::stat(target.c_str(), &info) != 0) {
        return false;
    }
    // The mode bits first: access() grants root everything, but a file nobody may write is meant to stay.
    return (info.st_mode & anyWrite) == 0 || (::access(target.c_str(), W_OK) != 0 && errno != ENOENT);
}

bool PartFile::isOpen() const noexcept {
    return m_handle && m_handle->fd;
}

bool PartFile::writeAllAt(std::uint64_t offset, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::pwrite(m_handle->fd.get(), data, size, static_cast<off_t>(offset));
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
        offset += static_cast<std::uint64_t>(written);
    }
    return true;
}

bool PartFile::truncateFile() {
    if (::ftruncate(m_handle->fd.get(), 0) != 0) {
        m_error = osError("cannot empty", m_path, errno);
        return false;
    }
    return true;
}

bool PartFile::syncToDisk() {
    if (::fsync(m_handle->fd.get()) != 0) {
        m_error = osError("cannot write", m_path, errno);
        return false;
    }
    return true;
}

bool PartFile::closeFile() {
    if (!m_handle->fd.close()) {
        m_error = osError("cannot close", m_path, errno);
        return false;
    }
    return true;
}

bool PartFile::renameOverTarget() {
    if (std::rename(m_path.c_str(), m_target.c_str()) != 0) {
        m_error = osError("cannot rename to", m_target, errno);
        return false;
    }
    return true;
}

} // namespace platform
