// The process ends as a return from main would: static objects destroyed, the leak checker's report included.
#include "platform/ProcessEnd.hpp"

#include <cstdlib>

namespace platform {

void EndProcess(int code) {
    std::exit(code);
}

} // namespace platform
