// The workers' priority, with the setting that keeps them at the window's for a comparison.
#include "platform/ThreadPriority.hpp"

#include <cstdlib>
#include <string_view>

namespace platform {

bool LowerThreadPriority() {
    if (const char* setting = std::getenv(workerPriorityVariable); setting && std::string_view(setting) == "normal")
        return false;
    return detail::LowerCallingThread();
}

} // namespace platform
