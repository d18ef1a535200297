// <windows.h> for the Windows backend, without the macros that would rename the launcher's own functions.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

// platform::CreateDirectory would otherwise become CreateDirectoryW wherever this header comes first.
#undef CreateDirectory
