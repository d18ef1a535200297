// The process ends at once, once standard output is out: DLL detach of the audio and graphics drivers is skipped.
#include "platform/ProcessEnd.hpp"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace platform {

void EndProcess(int code) {
    std::fflush(nullptr);
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(code));
    std::exit(code); // only if the system refused to end the process
}

} // namespace platform
