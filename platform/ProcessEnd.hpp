// How the launcher's process ends once everything it owns is closed.
#pragma once

namespace platform {

/// Ends the process with `code`. Everything the launcher owns must already be closed: its workers joined, its files
/// written, its window gone. Standard output is flushed first. On Windows the process ends at once, without the
/// libraries' own clean-up (the audio and graphics drivers'): the window is already gone, the system frees what
/// they hold, and under Wine a slow clean-up on a busy machine outlasts the half second the Wine server gives a
/// process whose threads have ended, after which it kills it and the exit code is lost. Elsewhere the process
/// ends as a return from main would.
[[noreturn]] void EndProcess(int code);

} // namespace platform
