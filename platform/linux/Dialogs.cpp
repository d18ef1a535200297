// Message boxes on Linux: the desktop's own dialog program, else a box drawn with SFML, else standard error.
#include "platform/DialogBox.hpp"

#include "platform/linux/DisplayText.hpp"
#include "platform/linux/MessageBoxWindow.hpp"
#include "platform/linux/Spawn.hpp"
#include "platform/linux/UniqueFd.hpp"
#include "platform/linux/X11Display.hpp"

#include <sys/socket.h>
#include <sys/un.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace platform {

namespace {

enum class Backend { Kdialog, Zenity, Sfml, Stderr };

// zenity and kdialog both answer 0 for OK/Yes and 1 for No, Escape or a closed window; anything else (a display
// that does not open, a crash) means the box was never seen.
constexpr int dialogAccepted = 0;
constexpr int dialogDeclined = 1;

bool environmentSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// VARNHOLD_DIALOG=stderr|sfml|zenity|kdialog picks the backend: for tests, and for a desktop whose dialog program
// misbehaves. Any other value is ignored.
std::optional<Backend> forcedBackend() {
    const char* value = std::getenv("VARNHOLD_DIALOG");
    if (value == nullptr) {
        return std::nullopt;
    }
    const std::string_view name = value;
    if (name == "stderr") {
        return Backend::Stderr;
    }
    if (name == "sfml") {
        return Backend::Sfml;
    }
    if (name == "zenity") {
        return Backend::Zenity;
    }
    if (name == "kdialog") {
        return Backend::Kdialog;
    }
    return std::nullopt;
}

// A Wayland compositor answers on its socket: WAYLAND_DISPLAY as it stands when absolute, else inside
// XDG_RUNTIME_DIR, as the Wayland client library looks it up.
bool waylandAnswers() {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    if (name == nullptr || *name == '\0') {
        return false;
    }
    std::string path = name;
    if (path.front() != '/') {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        if (runtime == nullptr || *runtime == '\0') {
            return false;
        }
        path = std::string(runtime) + "/" + path;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const UniqueFd socketFd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    return socketFd && connect(socketFd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

// A display named in the environment may still be gone: a stale DISPLAY after ssh or su names a server that no
// longer answers, and zenity then ends with 1, the very code of No, without showing anything.
bool displayAnswers() {
    return (environmentSet("DISPLAY") && detail::openX11Display()) || waylandAnswers();
}

bool onKdeDesktop() {
    const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
    return desktop != nullptr && std::string_view(desktop).find("KDE") != std::string_view::npos;
}

// The order to try; each one that cannot show its box hands over to the next. Standard error always works.
std::vector<Backend> backendsToTry() {
    // With no display that answers no box can show, whatever was asked for; a dialog program would only fail in
    // its own way (zenity then answers like No and nothing is printed at all).
    if (!displayAnswers()) {
        return {Backend::Stderr};
    }
    if (const std::optional<Backend> forced = forcedBackend()) {
        if (*forced == Backend::Stderr) {
            return {Backend::Stderr};
        }
        return {*forced, Backend::Stderr};
    }
    std::vector<Backend> order;
    if (onKdeDesktop()) {
        order.push_back(Backend::Kdialog);
    }
    order.insert(order.end(), {Backend::Zenity, Backend::Sfml, Backend::Stderr});
    return order;
}

// The answer of a dialog program, or empty when it could not show the box.
std::optional<bool> runDialogProgram(const std::vector<std::string>& argv) {
    const std::optional<pid_t> pid = detail::spawnProgram(argv, detail::SpawnStyle::Waited);
    if (!pid) {
        return std::nullopt;
    }
    const std::optional<int> code = detail::waitForExit(*pid);
    if (code == dialogAccepted) {
        return true;
    }
    if (code == dialogDeclined) {
        return false;
    }
    return std::nullopt;
}

std::optional<bool> askZenity(std::string_view caption, std::string_view text, bool question) {
    const std::string zenity = detail::findProgram("zenity");
    if (zenity.empty()) {
        return std::nullopt;
    }
    // --no-markup: the text is shown as it stands, never read as Pango markup ("<" and "&" in a server message).
    std::vector<std::string> argv = {
        zenity,   question ? "--question" : "--error", "--title",    detail::toDisplayUtf8(caption),
        "--text", detail::toDisplayUtf8(text),         "--no-markup"};
    if (question) {
        argv.emplace_back("--icon-name=dialog-error");
    }
    return runDialogProgram(argv);
}

// kdialog takes text that looks like HTML as rich text; made rich on purpose and escaped, it always reads literally.
std::string kdialogText(std::string_view text) {
    std::string rich = "<qt>";
    for (const char c : detail::toDisplayUtf8(text)) {
        switch (c) {
        case '&':
            rich += "&amp;";
            break;
        case '<':
            rich += "&lt;";
            break;
        case '>':
            rich += "&gt;";
            break;
        case '\n':
            rich += "<br>";
            break;
        default:
            rich += c;
        }
    }
    return rich + "</qt>";
}

std::optional<bool> askKdialog(std::string_view caption, std::string_view text, bool question) {
    const std::string kdialog = detail::findProgram("kdialog");
    if (kdialog.empty()) {
        return std::nullopt;
    }
    // kdialog has no error-styled Yes/No box; the warning one is the closest.
    return runDialogProgram({kdialog, "--title", detail::toDisplayUtf8(caption),
                             question ? "--warningyesno" : "--error", kdialogText(text)});
}

std::optional<bool> askSfml(std::string_view caption, std::string_view text, bool question) {
    const detail::X11Connection connection = detail::openX11Display();
    if (!connection) {
        return std::nullopt;
    }
    return detail::runMessageBoxWindow(caption, text,
                                       question ? detail::MessageButtons::YesNo : detail::MessageButtons::Ok);
}

// With nobody to ask, the answer is No: nothing large may start unasked.
bool reportOnStandardError(std::string_view caption, std::string_view text) {
    detail::printMessageBoxText(caption, text);
    return false;
}

} // namespace

namespace detail {

bool showBox(std::string_view caption, std::string_view text, bool question) {
    for (const Backend backend : backendsToTry()) {
        std::optional<bool> answer;
        switch (backend) {
        case Backend::Kdialog:
            answer = askKdialog(caption, text, question);
            break;
        case Backend::Zenity:
            answer = askZenity(caption, text, question);
            break;
        case Backend::Sfml:
            answer = askSfml(caption, text, question);
            break;
        case Backend::Stderr:
            return reportOnStandardError(caption, text);
        }
        if (answer) {
            return *answer;
        }
    }
    return false;
}

} // namespace detail

} // namespace platform
