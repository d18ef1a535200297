// Temporary file + fsync + rename; the temporary file is removed again on every failure.
#include "tools/manifest/AtomicFile.hpp"

#include "platform/linux/UniqueFd.hpp"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr mode_t newFileMode = 0644;

WriteResult failure(const std::string& what, const std::filesystem::path& path, int error) {
    return {false, what + " '" + path.string() + "': " + std::strerror(error)};
}

mode_t currentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

} // namespace

WriteResult writeFileAtomically(const std::filesystem::path& path, std::string_view contents) {
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
    // A leading '.' keeps the temporary file out of a scan of the same folder.
    std::string temporary = (folder / ("." + path.filename().string() + ".tmp-XXXXXX")).string();
    UniqueFd file(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!file) {
        return failure("cannot create a file in", folder, errno);
    }
    const auto fail = [&temporary](const std::string& what, const std::filesystem::path& target, int error) {
        ::unlink(temporary.c_str());
        return failure(what, target, error);
    };

    struct stat existing {};
    const mode_t mode =
        ::stat(path.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : (newFileMode & ~currentUmask());
    if (::fchmod(file.get(), mode) != 0) {
        return fail("cannot set the permissions of", temporary, errno);
    }

    std::size_t written = 0;
    while (written < contents.size()) {
        const ssize_t n = ::write(file.get(), contents.data() + written, contents.size() - written);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return fail("cannot write", temporary, errno);
        }
        written += static_cast<std::size_t>(n);
    }
    if (::fsync(file.get()) != 0) {
        return fail("cannot write", temporary, errno);
    }
    if (!file.close()) {
        return fail("cannot write", temporary, errno);
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        return fail("cannot replace", path, errno);
    }
    return {true, {}};
}
