// The window through X: the display's scale from the X resources, minimising through the window manager, and the
// window's map state. Xlib's functions come from the library SFML already loaded, through a connection of our own.
#include "platform/NativeWindow.hpp"

#include "platform/linux/X11Display.hpp"

#include <X11/Xlib.h> // types only: this file is compiled apart, so its macros reach no other source

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace platform {

namespace {

constexpr float ordinaryDpi = 96.f;

// The Motif hints window managers read for what a window allows: no decorations (it is borderless), but moving,
// minimising and closing. SFML gives a borderless window no functions at all, which lets a window manager refuse
// to minimise it from its task list.
struct MotifHints {
    unsigned long flags = 1 | 2;          // functions and decorations given
    unsigned long functions = 4 | 8 | 32; // move, minimise, close
    unsigned long decorations = 0;
    long inputMode = 0;
    unsigned long status = 0;
};
constexpr int motifHintsFields = 5;

// The value of one resource ("Xft.dpi") in the resource manager's text: "name:\tvalue" lines.
std::string_view resourceValue(std::string_view resources, std::string_view name) {
    while (!resources.empty()) {
        const std::size_t end = std::min(resources.find('\n'), resources.size());
        std::string_view line = resources.substr(0, end);
        resources.remove_prefix(std::min(end + 1, resources.size()));
        if (line.substr(0, name.size()) != name)
            continue;
        line.remove_prefix(name.size());
        const std::size_t colon = line.find_first_not_of(" \t");
        if (colon == std::string_view::npos || line[colon] != ':')
            continue;
        line.remove_prefix(colon + 1);
        const std::size_t start = line.find_first_not_of(" \t");
        return start == std::string_view::npos ? std::string_view{} : line.substr(start);
    }
    return {};
}

float fromResources() {
    const detail::X11Connection connection = detail::openX11Display();
    const auto resourceString = detail::x11Function<char* (*)(Display*)>(connection, "XResourceManagerString");
    if (resourceString == nullptr)
        return 1.f;
    const char* resources = resourceString(static_cast<Display*>(connection.get()));
    if (resources == nullptr)
        return 1.f;
    const std::string dpi(resourceValue(resources, "Xft.dpi"));
    return static_cast<float>(std::strtod(dpi.c_str(), nullptr)) / ordinaryDpi;
}

} // namespace

float DisplayScale() {
    // GDK_SCALE is the desktop's (or the player's) explicit whole-number scale for windows, above the fonts' DPI.
    float scale = 0.f;
    if (const char* gdkScale = std::getenv("GDK_SCALE"); gdkScale != nullptr && *gdkScale != '\0')
        scale = static_cast<float>(std::atoi(gdkScale));
    if (!(scale >= 1.f))
        scale = fromResources();
    if (!(scale >= 1.f)) // none, or a malformed one: the window keeps its own size
        return 1.f;
    return std::min(scale, largestDisplayScale);
}

struct NativeWindow::State {
    detail::X11Connection connection;
    ::Window window = 0;
    int (*iconify)(Display*, ::Window, int) = nullptr;
    int (*defaultScreen)(Display*) = nullptr;
    int (*attributes)(Display*, ::Window, XWindowAttributes*) = nullptr;
    int (*flush)(Display*) = nullptr;

    [[nodiscard]] Display* display() const { return static_cast<Display*>(connection.get()); }
};

NativeWindow::NativeWindow(std::uintptr_t handle) : m_state(std::make_unique<State>()) {
    State& state = *m_state;
    state.connection = detail::openX11Display();
    state.window = static_cast<::Window>(handle);
    state.iconify = detail::x11Function<decltype(state.iconify)>(state.connection, "XIconifyWindow");
    state.defaultScreen = detail::x11Function<decltype(state.defaultScreen)>(state.connection, "XDefaultScreen");
    state.attributes = detail::x11Function<decltype(state.attributes)>(state.connection, "XGetWindowAttributes");
    state.flush = detail::x11Function<decltype(state.flush)>(state.connection, "XFlush");

    using InternAtom = Atom (*)(Display*, const char*, int);
    using ChangeProperty = int (*)(Display*, ::Window, Atom, Atom, int, int, const unsigned char*, int);
    const auto internAtom = detail::x11Function<InternAtom>(state.connection, "XInternAtom");
    const auto changeProperty = detail::x11Function<ChangeProperty>(state.connection, "XChangeProperty");
    if (internAtom == nullptr || changeProperty == nullptr || state.flush == nullptr)
        return;
    const Atom motif = internAtom(state.display(), "_MOTIF_WM_HINTS", False);
    const MotifHints hints;
    changeProperty(state.display(), state.window, motif, motif, 32, PropModeReplace,
                   reinterpret_cast<const unsigned char*>(&hints), motifHintsFields);
    state.flush(state.display());
}

NativeWindow::~NativeWindow() = default;

void NativeWindow::minimise() {
    const State& state = *m_state;
    if (state.iconify == nullptr || state.defaultScreen == nullptr || state.flush == nullptr)
        return;
    // A request to the window manager (WM_CHANGE_STATE to the root window): it unmaps the window and shows it in
    // its task list, and a click there maps it again.
    state.iconify(state.display(), state.window, state.defaultScreen(state.display()));
    state.flush(state.display());
}

bool NativeWindow::hidden() const {
    const State& state = *m_state;
    if (state.attributes == nullptr)
        return false;
    XWindowAttributes attributes;
    std::memset(&attributes, 0, sizeof attributes);
    // Unmapped when minimised; a window whose answer fails is taken as shown, which only costs drawing.
    if (state.attributes(state.display(), state.window, &attributes) == 0)
        return false;
    return attributes.map_state != IsViewable;
}

std::optional<float> NativeWindow::takeScaleChange() {
    return std::nullopt; // X has one scale for the whole screen, read when the window was made
}

} // namespace platform
