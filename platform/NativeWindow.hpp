// What the launcher asks of its window beyond what the graphics library offers: the display's scale, minimising,
// and whether the window is out of sight.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

namespace platform {

/// The most a window is enlarged; a display that asks for more gets this.
inline constexpr float largestDisplayScale = 4.f;

/// How much a window must be enlarged on the display a new window opens on, for its pixels to show at the size
/// they were drawn for on an ordinary display: 1 at 96 dots per inch, 1.5 at 144, 2 at 192; never below 1.
/// Linux: the integer `GDK_SCALE` where set, else the `Xft.dpi` of the X resources over 96. Windows: the primary
/// monitor's effective DPI over 96 (the process is made per-monitor DPI-aware first, as the graphics library would
/// make it anyway).
[[nodiscard]] float DisplayScale();

/// The launcher's own window, by the graphics library's handle (an X window id, or an HWND as a number). Held for
/// as long as the window lives; it must go before the window does.
class NativeWindow {
public:
    /// On Windows this also gives the borderless window a minimise box, so that its taskbar button minimises and
    /// restores it, and starts following the display changes of WM_DPICHANGED.
    explicit NativeWindow(std::uintptr_t handle);
    ~NativeWindow();
    NativeWindow(const NativeWindow&) = delete;
    NativeWindow& operator=(const NativeWindow&) = delete;

    /// Asks the system to minimise the window (on Linux the window manager; without one nothing happens).
    void minimise();
    /// True while the window is minimised or otherwise not shown: nothing drawn in it could be seen.
    [[nodiscard]] bool hidden() const;
    /// The new scale once the window has moved to a display of another scale (Windows: WM_DPICHANGED, the window
    /// already resized as the system suggested), once per change; nothing otherwise and always on Linux.
    [[nodiscard]] std::optional<float> takeScaleChange();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace platform
