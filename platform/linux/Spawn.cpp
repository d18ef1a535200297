// Child processes through posix_spawn: a double fork would leak every descriptor not opened with O_CLOEXEC.
#include "platform/linux/Spawn.hpp"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <system_error>
#include <thread>

extern char** environ;

namespace platform::detail {

namespace {

constexpr int firstPrivateDescriptor = 3;

struct FileActionsDeleter {
    void operator()(posix_spawn_file_actions_t* actions) const { posix_spawn_file_actions_destroy(actions); }
};
using FileActions = std::unique_ptr<posix_spawn_file_actions_t, FileActionsDeleter>;

struct SpawnAttrDeleter {
    void operator()(posix_spawnattr_t* attr) const { posix_spawnattr_destroy(attr); }
};
using SpawnAttr = std::unique_ptr<posix_spawnattr_t, SpawnAttrDeleter>;

bool isExecutableFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

} // namespace

std::string findProgram(std::string_view name) {
    if (name.empty()) {
        return {};
    }
    if (name.find('/') != std::string_view::npos) {
        std::string path(name);
        return isExecutableFile(path) ? path : std::string{};
    }
    // Read at every call: the user (or a test) may put another program first on PATH at any time.
    const char* pathVariable = std::getenv("PATH");
    const std::string_view searchPath = pathVariable != nullptr ? pathVariable : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= searchPath.size()) {
        std::size_t end = searchPath.find(':', start);
        if (end == std::string_view::npos) {
            end = searchPath.size();
        }
        std::string folder(searchPath.substr(start, end - start));
        if (folder.empty()) {
            folder = "."; // An empty PATH entry means the current folder.
        }
        std::string candidate = folder + '/' + std::string(name);
        if (isExecutableFile(candidate)) {
            return candidate;
        }
        start = end + 1;
    }
    return {};
}

std::optional<pid_t> spawnProgram(const std::vector<std::string>& argv, SpawnStyle style) {
    if (argv.empty() || argv.front().empty()) {
        return std::nullopt;
    }

    posix_spawn_file_actions_t actionsStorage;
    if (posix_spawn_file_actions_init(&actionsStorage) != 0) {
        return std::nullopt;
    }
    const FileActions actions(&actionsStorage);
    // stdio first, then everything above it closed, so that the launcher's sockets and files stay its own. A
    // successor writes where the launcher wrote, so its lines reach the same terminal or log.
    for (const int descriptor : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        const int flags = descriptor == STDIN_FILENO ? O_RDONLY : O_WRONLY;
        if (style != SpawnStyle::Successor &&
            posix_spawn_file_actions_addopen(actions.get(), descriptor, "/dev/null", flags, 0) != 0) {
            return std::nullopt;
        }
    }
    if (posix_spawn_file_actions_addclosefrom_np(actions.get(), firstPrivateDescriptor) != 0) {
        return std::nullopt;
    }

    posix_spawnattr_t attrStorage;
    if (posix_spawnattr_init(&attrStorage) != 0) {
        return std::nullopt;
    }
    const SpawnAttr attr(&attrStorage);
    // A signal the launcher ignores (SIGPIPE, say) or blocks must not stay ignored or blocked in the child.
    sigset_t allSignals;
    sigset_t noSignals;
    sigfillset(&allSignals);
    sigemptyset(&noSignals);
    short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
    if (style == SpawnStyle::Detached) {
        flags |= POSIX_SPAWN_SETSID; // Closing the launcher's terminal must not take the game with it.
    }
    if (posix_spawnattr_setsigdefault(attr.get(), &allSignals) != 0 ||
        posix_spawnattr_setsigmask(attr.get(), &noSignals) != 0 || posix_spawnattr_setflags(attr.get(), flags) != 0) {
        return std::nullopt;
    }

    std::vector<char*> arguments;
    arguments.reserve(argv.size() + 1);
    for (const std::string& argument : argv) {
        arguments.push_back(const_cast<char*>(argument.c_str())); // posix_spawn's prototype predates const.
    }
    arguments.push_back(nullptr);

    pid_t pid = 0;
    if (posix_spawnp(&pid, arguments.front(), actions.get(), attr.get(), arguments.data(), environ) != 0) {
        return std::nullopt;
    }
    return pid;
}

std::optional<int> waitForExit(pid_t pid) {
    int status = 0;
    pid_t result = 0;
    do {
        result = waitpid(pid, &status, 0);
    } while (result == -1 && errno == EINTR);
    if (result != pid || !WIFEXITED(status)) {
        return std::nullopt;
    }
    return WEXITSTATUS(status);
}

bool startDetached(const std::vector<std::string>& argv) {
    const std::optional<pid_t> pid = spawnProgram(argv, SpawnStyle::Detached);
    if (!pid) {
        return false;
    }
    try {
        std::thread([child = *pid] { static_cast<void>(waitForExit(child)); }).detach();
    } catch (const std::system_error&) {
        // No thread to spare: the child still runs; it stays a zombie after it ends until the launcher exits.
    }
    return true;
}

} // namespace platform::detail
