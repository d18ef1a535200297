// Close requests on Linux: SIGTERM (shutdown, kill), SIGHUP (logout, a closed terminal) and SIGINT (Ctrl+C).
#include "platform/CloseRequests.hpp"

#include <atomic>
#include <csignal>

namespace platform {

namespace {

// A lock-free atomic is one of the few things a signal handler may touch.
std::atomic<bool> closeRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void markCloseRequest(int) {
    closeRequested.store(true);
}

} // namespace

void CatchCloseRequests() {
    struct sigaction action {};
    action.sa_handler = markCloseRequest;
    sigemptyset(&action.sa_mask);
    // Restarted system calls: a download or a dialog's wait must not fail because of the request; the loops that
    // matter look at the flag within a frame or a poll interval anyway.
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGHUP, SIGINT})
        sigaction(signal, &action, nullptr);
}

bool CloseRequested() noexcept {
    return closeRequested.load();
}

} // namespace platform
