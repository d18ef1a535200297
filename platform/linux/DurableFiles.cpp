// syncfs(2) once per file system: one journal commit for every file on it, where an fsync per file would cost one
// each. It writes whatever else is waiting on that file system too, which has to reach the disk anyway.
#include "platform/DurableFiles.hpp"

#include "platform/linux/UniqueFd.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>

namespace platform {

std::vector<std::string> FlushToDisk(const std::vector<std::string>& paths) {
    std::vector<std::string> failed;
    std::map<dev_t, std::vector<std::string>> byVolume;
    std::map<dev_t, UniqueFd> handles; // one open file per file system, to name it to syncfs
    for (const std::string& path : paths) {
        // O_NONBLOCK: a FIFO put in the file's place must not hold the launcher up.
        UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
        struct stat info {};
        if (!fd || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
            failed.push_back(path);
            continue;
        }
        byVolume[info.st_dev].push_back(path);
        if (!handles.contains(info.st_dev))
            handles.emplace(info.st_dev, std::move(fd));
    }
    for (const auto& [volume, fd] : handles) {
        if (::syncfs(fd.get()) != 0) {
            const std::vector<std::string>& lost = byVolume[volume];
            failed.insert(failed.end(), lost.begin(), lost.end());
        }
    }
    return failed;
}

} // namespace platform
