// The window through X: the display's scale from the X resources, minimising through the window manager, and the
// window's map state. Xlib's functions come from the library SFML already loaded, through a connection of our own.
#include "platform/NativeWindow.hpp"

#include "platform/linux/X11Display.hpp"

#include <X11/Xlib.h> // types only: this file is compiled apart, so its macros reach no other source

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <thread>

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

// How long the window may take to reach the X server through the graphics library's connection.
constexpr auto windowArrivalLimit = std::chrono::seconds(2);
constexpr auto windowArrivalPoll = std::chrono::milliseconds(5);

// Errors of X requests made while a CaughtXErrors is alive (main thread only, as every X call of the launcher).
int caughtErrors = 0;
int countError(Display*, XErrorEvent*) {
    ++caughtErrors;
    return 0;
}

// Our requests name a window that another connection, the graphics library's, creates and destroys. The server may
// read ours before it has read that window's creation (on a busy machine it did), and Xlib's default handler ends the
// whole process on the error that gives. While one of these lives, errors are counted instead; it waits for the
// server's answer to everything sent before it goes, so no error of ours arrives after the old handler is back.
class CaughtXErrors {
public:
    using Handler = int (*)(Display*, XErrorEvent*);

    explicit CaughtXErrors(const detail::X11Connection& connection)
        : m_display(static_cast<Display*>(connection.get())),
          m_setHandler(detail::x11Function<Handler (*)(Handler)>(connection, "XSetErrorHandler")),
          m_sync(detail::x11Function<int (*)(Display*, int)>(connection, "XSync")) {
        caughtErrors = 0;
        if (m_setHandler != nullptr)
            m_previous = m_setHandler(&countError);
    }
    ~CaughtXErrors() {
        if (m_sync != nullptr)
            m_sync(m_display, False);
        if (m_setHandler != nullptr)
            m_setHandler(m_previous);
    }
    CaughtXErrors(const CaughtXErrors&) = delete;
    CaughtXErrors& operator=(const CaughtXErrors&) = delete;

    /// False when no handler could be set: then requests that may fail must not be made at all.
    [[nodiscard]] bool active() const noexcept { return m_setHandler != nullptr && m_sync != nullptr; }
    /// True when a request made so far failed; waits for the server's answers first.
    [[nodiscard]] bool failed() const {
        m_sync(m_display, False);
        return caughtErrors > 0;
    }

private:
    Display* m_display;
    Handler (*m_setHandler)(Handler);
    int (*m_sync)(Display*, int);
    Handler m_previous = nullptr;
};

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
    if (state.attributes == nullptr)
        return;
    // The hints go on once the server knows the window; a window that never arrives keeps the library's.
    const auto limit = std::chrono::steady_clock::now() + windowArrivalLimit;
    for (;;) {
        const CaughtXErrors errors(state.connection);
        if (!errors.active())
            return;
        XWindowAttributes attributes;
        std::memset(&attributes, 0, sizeof attributes);
        if (state.attributes(state.display(), state.window, &attributes) != 0 && !errors.failed())
            break;
        if (std::chrono::steady_clock::now() >= limit)
            return;
        std::this_thread::sleep_for(windowArrivalPoll);
    }
    const CaughtXErrors errors(state.connection);
    const Atom motif = internAtom(state.display(), "_MOTIF_WM_HINTS", False);
    const MotifHints hints;
    changeProperty(state.display(), state.window, motif, motif, 32, PropModeReplace,
                   reinterpret_cast<const unsigned char*>(&hints), motifHintsFields);
}

NativeWindow::~NativeWindow() = default;

void NativeWindow::minimise() {
    const State& state = *m_state;
    if (state.iconify == nullptr || state.defaultScreen == nullptr || state.flush == nullptr)
        return;
    // A request to the window manager (WM_CHANGE_STATE to the root window): it unmaps the window and shows it in
    // its task list, and a click there maps it again.
    const CaughtXErrors errors(state.connection);
    if (!errors.active())
        return;
    state.iconify(state.display(), state.window, state.defaultScreen(state.display()));
    state.flush(state.display());
}

bool NativeWindow::hidden() const {
    const State& state = *m_state;
    if (state.attributes == nullptr)
        return false;
    const CaughtXErrors errors(state.connection);
    if (!errors.active())
        return false;
    XWindowAttributes attributes;
    std::memset(&attributes, 0, sizeof attributes);
    // Unmapped when minimised; a window whose answer fails is taken as shown, which only costs drawing.
    if (state.attributes(state.display(), state.window, &attributes) == 0 || errors.failed())
        return false;
    return attributes.map_state != IsViewable;
}

std::optional<float> NativeWindow::takeScaleChange() {
    return std::nullopt; // X has one scale for the whole screen, read when the window was made
}

} // namespace platform
