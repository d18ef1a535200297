// Worker threads one step below normal. Windows runs the highest-priority ready thread, so the window's thread,
// at normal priority, takes a core from a worker the moment it wakes for a frame or a click; threads do not
// inherit the value, so each worker sets its own.
#include "platform/ThreadPriority.hpp"

#include "platform/windows/Win32.hpp"

namespace platform {

bool detail::LowerCallingThread() {
    return SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL) != 0;
}

} // namespace platform
