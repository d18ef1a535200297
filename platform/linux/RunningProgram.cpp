// The program file on Linux: /proc/self/exe, rename(2) over the name (a running program keeps its old file), and
// the newer build started through posix_spawn.
#include "platform/RunningProgram.hpp"

#include "platform/linux/Spawn.hpp"
#include "platform/linux/UniqueFd.hpp"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string_view>

namespace platform {

namespace {

constexpr mode_t permissionBits = 07777;
constexpr mode_t usualProgramMode = 0755;
constexpr std::string_view systemPrefix = "/usr/";

std::string errorText(const std::string& what, const std::string& path) {
    return std::string(what) + " " + path + ": " + std::strerror(errno);
}

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

const char* SystemName() noexcept {
    return "linux";
}

std::string RunningProgramPath() {
    std::string path(256, '\0');
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
        if (length < 0)
            return {};
        if (static_cast<std::size_t>(length) < path.size()) {
            path.resize(static_cast<std::size_t>(length));
            return path;
        }
        path.resize(path.size() * 2);
    }
}

bool InstalledBySystem(const std::string& programPath) {
    return programPath.starts_with(systemPrefix);
}

bool PrepareProgramFile(const std::string& path, const std::string& programPath, std::string& error) {
    const UniqueFd file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file) {
        error = errorText("cannot open", path);
        return false;
    }
    if (fsync(file.get()) != 0) {
        error = errorText("cannot write out", path);
        return false;
    }
    struct stat program {};
    const mode_t mode = stat(programPath.c_str(), &program) == 0 ? program.st_mode & permissionBits : usualProgramMode;
    if (fchmod(file.get(), mode) != 0) {
        error = errorText("cannot make runnable", path);
        return false;
    }
    return true;
}

bool ReplaceProgramFile(const std::string& source, const std::string& target, std::chrono::milliseconds,
                        std::string& error) {
    // A running program does not hold its name here: the rename works at once, whoever runs the old file.
    if (rename(source.c_str(), target.c_str()) != 0) {
        error = errorText("cannot rename " + source + " to", target);
        return false;
    }
    // The new name is on the disk once its folder is: after a power cut the name holds the new program or the old.
    const UniqueFd folder(open(folderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder)
        static_cast<void>(fsync(folder.get()));
    return true;
}

struct StartedProgram::Handle {
    pid_t pid = 0;
};

void StartedProgram::HandleDeleter::operator()(Handle* handle) const noexcept {
    // The program runs on; once the launcher ends, the system reaps it.
    std::default_delete<Handle>()(handle);
}

std::optional<StartedProgram> StartedProgram::start(const std::string& path, const std::vector<std::string>& arguments,
                                                    std::string& error) {
    std::vector<std::string> argv{path};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const std::optional<pid_t> pid = detail::spawnProgram(argv, detail::SpawnStyle::Successor);
    if (!pid) {
        error = "cannot start " + path;
        return std::nullopt;
    }
    return StartedProgram(std::unique_ptr<Handle, HandleDeleter>(std::make_unique<Handle>(Handle{*pid}).release()));
}

bool StartedProgram::hasEnded() {
    int status = 0;
    // Anything but "still running" ends the watch: an error here means the child is not ours to wait for any more.
    return waitpid(m_handle->pid, &status, WNOHANG) != 0;
}

void StartedProgram::kill() {
    ::kill(m_handle->pid, SIGKILL);
    static_cast<void>(detail::waitForExit(m_handle->pid));
}

} // namespace platform
