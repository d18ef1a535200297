// The system asking the launcher to end (a logout, a shutdown, Ctrl+C in a terminal): caught, so that the launcher
// closes as its close button does instead of dying in the middle of a download.
#pragma once

namespace platform {

/// From now on such requests only mark themselves; call once at the start, before any thread exists.
void CatchCloseRequests();

/// True once a request to end came; the frame loop and start-up look at it.
[[nodiscard]] bool CloseRequested() noexcept;

} // namespace platform
