// The launcher's own program file: where it lies, getting a newer build of it ready, starting that build, and
// handing the program's name over to it.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

/// This OS as documents name it: "windows" or "linux".
[[nodiscard]] const char* SystemName() noexcept;

/// Full path of the running program's file, with '/' between folders; empty when the system cannot say.
[[nodiscard]] std::string RunningProgramPath();

/// True when `programPath` lies where the system's package manager puts programs (under /usr on Linux): such a
/// program is updated with the system's packages, never by itself.
[[nodiscard]] bool InstalledBySystem(const std::string& programPath);

/// Makes the downloaded program at `path` ready to start: its bytes on the disk, so that a power cut after it took
/// the program's name cannot leave an empty program behind, and the permission to run that `programPath` has.
/// False (and the OS's words in `error`) when either failed.
[[nodiscard]] bool PrepareProgramFile(const std::string& path, const std::string& programPath, std::string& error);

/// Renames `source` over `target` in one step and waits until the change is on the disk. While the system holds
/// `target` (Windows does, for as long as a process runs from it) it tries again until `patience` has passed.
/// False (and the OS's words in `error`) when it could not; both files are then as they were.
[[nodiscard]] bool ReplaceProgramFile(const std::string& source, const std::string& target,
                                      std::chrono::milliseconds patience, std::string& error);

/// A program this one started in its own current folder, sharing its standard output and error. The program goes
/// on running when the owner goes away.
class StartedProgram {
public:
    /// Starts the program file `path` with `arguments`; nullopt (and the OS's words in `error`) when it could not.
    [[nodiscard]] static std::optional<StartedProgram>
    start(const std::string& path, const std::vector<std::string>& arguments, std::string& error);

    StartedProgram(StartedProgram&&) noexcept;
    StartedProgram& operator=(StartedProgram&&) noexcept;
    StartedProgram(const StartedProgram&) = delete;
    StartedProgram& operator=(const StartedProgram&) = delete;
    ~StartedProgram();

    /// False once the program has ended.
    [[nodiscard]] bool running();
    /// Ends the program at once, as a kill would, and waits until it has gone.
    void terminate();

private:
    struct Handle; // the OS's hold on the process
    struct HandleDeleter {
        void operator()(Handle* handle) const noexcept;
    };
    explicit StartedProgram(std::unique_ptr<Handle, HandleDeleter> handle);

    // The calls into the OS, defined once per backend.
    /// True once the process has ended (and then, where that matters, been reaped).
    [[nodiscard]] bool hasEnded();
    /// Kills the process and waits until it has gone.
    void kill();

    std::unique_ptr<Handle, HandleDeleter> m_handle;
    bool m_ended = false;
};

} // namespace platform
