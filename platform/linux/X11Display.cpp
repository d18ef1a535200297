// Opens the X display through libX11 loaded at run time: SFML already maps it into the process, unlinked to us.
#include "platform/linux/X11Display.hpp"

#include <dlfcn.h>

#include <cstdlib>

namespace platform::detail {

namespace {

using OpenDisplayFunction = void* (*)(const char*);
using CloseDisplayFunction = int (*)(void*);

template <typename Function> Function symbol(void* library, const char* name) {
    return reinterpret_cast<Function>(dlsym(library, name));
}

} // namespace

void X11DisplayCloser::operator()(void* display) const {
    if (closeDisplay != nullptr) {
        closeDisplay(display);
    }
}

void* x11Symbol(const X11Connection& connection, const char* name) {
    void* const library = connection.get_deleter().library.get();
    return connection && library != nullptr ? dlsym(library, name) : nullptr;
}

X11Connection openX11Display() {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') {
        return {};
    }
    const std::shared_ptr<void> library(dlopen("libX11.so.6", RTLD_LAZY | RTLD_LOCAL), [](void* handle) {
        if (handle != nullptr) {
            dlclose(handle);
        }
    });
    if (!library) {
        return {};
    }
    const auto openDisplay = symbol<OpenDisplayFunction>(library.get(), "XOpenDisplay");
    const auto closeDisplay = symbol<CloseDisplayFunction>(library.get(), "XCloseDisplay");
    if (openDisplay == nullptr || closeDisplay == nullptr) {
        return {};
    }
    return X11Connection(openDisplay(nullptr), X11DisplayCloser{library, closeDisplay});
}

} // namespace platform::detail
