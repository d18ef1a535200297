// An X server of the test program's own (Xvfb), for tests and benchmarks that open windows.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace testing_support {

inline constexpr int xServerStartTimeoutMs = 15000;

/// Starts Xvfb on a free display number and returns its name (":N"), or the empty text when it could not start.
/// The server ends with the calling process (the parent-death signal), never before it: SFML keeps its connection
/// to the first display it opens until the process ends. Tall enough for an 800 × 600 window that SFML centres on
/// what RandR reports, and for the same window at twice the size (a scaled display).
inline std::string startPrivateDisplay() {
    int ready[2] = {-1, -1};
    if (pipe(ready) != 0)
        return {};
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child < 0) {
        close(ready[0]);
        close(ready[1]);
        return {};
    }
    if (child == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(1);
        close(ready[0]);
        const int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, STDOUT_FILENO);
        dup2(quiet, STDERR_FILENO);
        const std::string fd = std::to_string(ready[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1600x1200x24", "-nolisten", "tcp", "-noreset",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    close(ready[1]);
    std::string number;
    pollfd watch{ready[0], POLLIN, 0};
    char c = 0;
    while (poll(&watch, 1, xServerStartTimeoutMs) > 0 && read(ready[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(ready[0]);
    return number.empty() ? std::string{} : ":" + number;
}

/// DISPLAY, or a private Xvfb when the session has none (ended with this process); false when neither is there.
inline bool ensureDisplay() {
    if (std::getenv("DISPLAY") != nullptr)
        return true;
    const std::string display = startPrivateDisplay();
    if (display.empty())
        return false;
    setenv("DISPLAY", display.c_str(), 1);
    return true;
}

} // namespace testing_support
