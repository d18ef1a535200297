// Whether an X server answers, asked before SFML is allowed near it.
#pragma once

#include <memory>

namespace platform::detail {

/// Closes a connection from openX11Display and keeps libX11 loaded while one is open.
struct X11DisplayCloser {
    std::shared_ptr<void> library;
    int (*closeDisplay)(void*) = nullptr;
    void operator()(void* display) const;
};
using X11Connection = std::unique_ptr<void, X11DisplayCloser>;

/// A connection to the X display that DISPLAY names; empty when none answers. SFML aborts the whole process when
/// it cannot open its display, so nothing may create an SFML window without one of these. Keep it open until the
/// window exists: an X server resets when its last client leaves and refuses connections while it does.
[[nodiscard]] X11Connection openX11Display();

/// The function `name` of the libX11 that `connection` was opened through; nullptr when there is none.
[[nodiscard]] void* x11Symbol(const X11Connection& connection, const char* name);
template <typename Function> [[nodiscard]] Function x11Function(const X11Connection& connection, const char* name) {
    return reinterpret_cast<Function>(x11Symbol(connection, name));
}

} // namespace platform::detail
