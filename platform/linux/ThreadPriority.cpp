// Worker threads at a higher nice value than the main thread. Linux keeps the nice value per thread, and a new
// thread inherits its creator's: the value is set from the main thread's, never from the caller's own.
#include "platform/ThreadPriority.hpp"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace platform {

namespace {

// One step: the window, which sleeps between its frames, is woken ahead of workers that have run all along, and the
// workers keep most of their share against the player's other programs (weights 820 against 1024). Ten steps left
// them a tenth of it, and a first start beside three busy programs took five times as long.
constexpr int workerNiceSteps = 1;
constexpr int lowestNice = 19;

} // namespace

bool detail::LowerCallingThread() {
    // getpriority can return -1 as a value: only errno tells a failure.
    errno = 0;
    const int mainNice = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
    if (mainNice == -1 && errno != 0)
        return false;
    const int target = std::min(lowestNice, mainNice + workerNiceSteps);
    return setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), target) == 0;
}

} // namespace platform
