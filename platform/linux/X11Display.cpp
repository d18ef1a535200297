// Opens and closes the X display once through libX11, loaded at run time: SFML already maps it into the process.
#include "platform/linux/X11Display.hpp"

#include <dlfcn.h>

#include <cstdlib>
#include <memory>

namespace platform::detail {

namespace {

struct LibraryCloser {
    void operator()(void* handle) const { dlclose(handle); }
};
using Library = std::unique_ptr<void, LibraryCloser>;

using OpenDisplayFunction = void* (*)(const char*);
using CloseDisplayFunction = int (*)(void*);

template <typename Function> Function symbol(void* library, const char* name) {
    return reinterpret_cast<Function>(dlsym(library, name));
}

} // namespace

bool canOpenX11Display() {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') {
        return false;
    }
    const Library library(dlopen("libX11.so.6", RTLD_LAZY | RTLD_LOCAL));
    if (!library) {
        return false;
    }
    const auto openDisplay = symbol<OpenDisplayFunction>(library.get(), "XOpenDisplay");
    const auto closeDisplay = symbol<CloseDisplayFunction>(library.get(), "XCloseDisplay");
    if (openDisplay == nullptr || closeDisplay == nullptr) {
        return false;
    }
    const std::unique_ptr<void, CloseDisplayFunction> connection(openDisplay(nullptr), closeDisplay);
    return connection != nullptr;
}

} // namespace platform::detail
