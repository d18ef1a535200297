// Starting other programs from the launcher: found on PATH, no inherited descriptors, waited for or reaped.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::detail {

/// Full path of the program `name` as the current PATH finds it (a name with '/' is taken as it stands);
/// empty when there is no such executable file.
[[nodiscard]] std::string findProgram(std::string_view name);

/// How a started program stands to the launcher.
enum class SpawnStyle {
    Waited,    ///< The caller waits for it (a dialog): standard streams to /dev/null, same session.
    Detached,  ///< Runs on its own (a game, a browser): standard streams to /dev/null, its own session.
    Successor, ///< Takes over from the launcher (its newer build): standard streams shared, same session.
};

/// Starts `argv` (argv[0] is looked up on PATH) in the current folder. Only descriptors 0, 1 and 2 reach the child.
/// Empty when the program could not be started.
[[nodiscard]] std::optional<pid_t> spawnProgram(const std::vector<std::string>& argv, SpawnStyle style);

/// Waits for `pid` to end; its exit code, or empty when it was killed by a signal or could not be waited for.
[[nodiscard]] std::optional<int> waitForExit(pid_t pid);

/// Starts `argv` detached and returns at once; a background thread reaps it so that no zombie is left.
/// False when the program could not be started.
bool startDetached(const std::vector<std::string>& argv);

} // namespace platform::detail
