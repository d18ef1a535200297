// File facts from stat(2): st_size, st_mtim, st_dev and st_ino.
#include "platform/FileFacts.hpp"

#include <sys/stat.h>

namespace platform {

namespace {
constexpr std::int64_t nanosecondsPerSecond = 1'000'000'000;
} // namespace

std::optional<FileFacts> ReadFileFacts(const std::string& path) {
    struct stat info {};
    if (path.empty() || ::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    FileFacts facts;
    facts.size = static_cast<std::uint64_t>(info.st_size);
    facts.modifiedNs = static_cast<std::int64_t>(info.st_mtim.tv_sec) * nanosecondsPerSecond +
                       static_cast<std::int64_t>(info.st_mtim.tv_nsec);
    facts.volume = static_cast<std::uint64_t>(info.st_dev);
    facts.identity = static_cast<std::uint64_t>(info.st_ino);
    return facts;
}

} // namespace platform
