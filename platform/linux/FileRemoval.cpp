// Removing trees with the *at() calls on open folders: each folder is opened without following a link, so a link
// swapped in on the way is removed as a link and the walk never leaves the tree.
#include "platform/FileRemoval.hpp"

#include "platform/linux/UniqueDir.hpp"
#include "platform/linux/UniqueFd.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace platform {

namespace {

class TreeRemover {
public:
    // Removes `name` in the folder `parent` (a descriptor, or AT_FDCWD), whatever it is.
    void remove(int parent, const std::string& name, const std::string& shownPath) {
        struct stat info {};
        if (fstatat(parent, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT) {
                fail("cannot look at", shownPath);
            }
            return;
        }
        if (S_ISDIR(info.st_mode)) {
            removeContents(parent, name, shownPath);
            if (unlinkat(parent, name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT) {
                fail("cannot remove", shownPath);
            }
        } else if (unlinkat(parent, name.c_str(), 0) != 0 && errno != ENOENT) {
            fail("cannot remove", shownPath);
        }
    }

    TreeRemoval result() { return std::move(m_result); }

private:
    void removeContents(int parent, const std::string& name, const std::string& shownPath) {
        // O_NOFOLLOW: a folder replaced by a link since it was looked at is not entered.
        UniqueFd folder(openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!folder) {
            if (errno == ELOOP || errno == ENOTDIR) {
                if (unlinkat(parent, name.c_str(), 0) != 0) {
                    fail("cannot remove", shownPath);
                }
            } else {
                fail("cannot open", shownPath);
            }
            return;
        }
        // The listing is read whole before anything goes, so removing does not disturb it.
        std::vector<std::string> names;
        {
            const int listed = dup(folder.get());
            const UniqueDir dir(listed >= 0 ? fdopendir(listed) : nullptr);
            if (!dir) {
                if (listed >= 0) {
                    ::close(listed);
                }
                fail("cannot list", shownPath);
                return;
            }
            while (const dirent* entry = readdir(dir.get())) {
                const std::string entryName = entry->d_name;
                if (entryName != "." && entryName != "..") {
                    names.push_back(entryName);
                }
            }
        }
        for (const std::string& entry : names) {
            remove(folder.get(), entry, shownPath + "/" + entry);
        }
    }

    void fail(const char* what, const std::string& path) {
        if (m_result.complete) {
            m_result.error = std::string(what) + " " + path + ": " + std::strerror(errno);
        }
        m_result.complete = false;
    }

    TreeRemoval m_result;
};

} // namespace

bool RemoveFileOrLink(const std::string& path) {
    // unlink never follows a link and refuses folders.
    return !path.empty() && ::unlink(path.c_str()) == 0;
}

TreeRemoval RemoveTree(const std::string& path) {
    // "cache/" would follow a link named cache; the name alone is the link.
    std::string name = path;
    while (name.size() > 1 && name.back() == '/') {
        name.pop_back();
    }
    TreeRemover remover;
    if (!name.empty()) {
        remover.remove(AT_FDCWD, name, name);
    }
    return remover.result();
}

} // namespace platform
