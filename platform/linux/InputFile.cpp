// Reading files through POSIX descriptors, with the kernel told the reads are sequential.
#include "platform/InputFile.hpp"

#include "platform/linux/UniqueFd.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {

struct InputFile::Handle {
    UniqueFd fd;
};

std::optional<InputFile> InputFile::open(const std::string& path, int& error) {
    // O_NONBLOCK: a FIFO would otherwise hold the open until some writer comes, perhaps never. It changes nothing
    // for the reads of a file or a folder.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    if (!fd || ::fstat(fd.get(), &info) != 0) {
        error = errno;
        return std::nullopt;
    }
    // A FIFO, a device or a socket has no end to read to; a folder opens, as documented, and fails its reads.
    if (!S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode)) {
        error = EINVAL;
        return std::nullopt;
    }
    // Only a hint: a failure changes nothing but read-ahead.
    (void)::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    return InputFile(std::make_unique<Handle>(Handle{std::move(fd)}));
}

InputFile::InputFile(std::unique_ptr<Handle> handle) : m_handle(std::move(handle)) {}
InputFile::InputFile(InputFile&&) noexcept = default;
InputFile& InputFile::operator=(InputFile&&) noexcept = default;
InputFile::~InputFile() = default;

bool InputFile::isRegular() const {
    struct stat info {};
    return m_handle && ::fstat(m_handle->fd.get(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string InputFile::errorText(int error) {
    return std::strerror(error);
}

bool InputFile::seek(std::uint64_t offset) {
    if (!m_handle || ::lseek(m_handle->fd.get(), static_cast<off_t>(offset), SEEK_SET) < 0) {
        m_error = m_handle ? errno : EBADF;
        return false;
    }
    return true;
}

std::optional<std::uint64_t> InputFile::size() const {
    struct stat info {};
    if (!m_handle || ::fstat(m_handle->fd.get(), &info) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(info.st_size);
}

long long InputFile::read(void* buffer, std::size_t size) {
    if (!m_handle) {
        m_error = EBADF;
        return -1;
    }
    for (;;) {
        const ssize_t got = ::read(m_handle->fd.get(), buffer, size);
        if (got >= 0)
            return got;
        if (errno != EINTR) {
            m_error = errno;
            return -1;
        }
    }
}

} // namespace platform
