// Close requests on Windows: Ctrl+C, Ctrl+Break, a closed console, a logoff or a shutdown, as console events.
#include "platform/CloseRequests.hpp"

#include <windows.h>

#include <atomic>

namespace platform {

namespace {

std::atomic<bool> closeRequested{false};

BOOL WINAPI markCloseRequest(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        closeRequested.store(true);
        // The handler runs on a thread of its own; for a closed console, a logoff or a shutdown the system ends the
        // process when it returns, so it waits a little for the frame loop to close the workers first.
        if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
            Sleep(2000);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

void CatchCloseRequests() {
    SetConsoleCtrlHandler(markCloseRequest, TRUE);
}

bool CloseRequested() noexcept {
    return closeRequested.load();
}

} // namespace platform
