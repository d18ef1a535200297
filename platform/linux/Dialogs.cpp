// Message boxes on Linux: the desktop's own dialog program, else a box drawn with SFML, else standard error.
#include "platform/Dialogs.hpp"

#include "platform/Diagnostics.hpp"
#include "platform/linux/DisplayText.hpp"
#include "platform/linux/MessageBoxWindow.hpp"
#include "platform/linux/Spawn.hpp"
#include "platform/linux/X11Display.hpp"

#include <cstdio>
#include <cstdlib>
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

bool onKdeDesktop() {
    const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
    return desktop != nullptr && std::string_view(desktop).find("KDE") != std::string_view::npos;
}

// The order to try; each one that cannot show its box hands over to the next. Standard error always works.
std::vector<Backend> backendsToTry() {
    // With no display no box can show, whatever was asked for; a dialog program would only fail in its own way
    // (zenity then answers like No and nothing is printed at all).
    if (!environmentSet("DISPLAY") && !environmentSet("WAYLAND_DISPLAY")) {
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
    PrintError("%.*s: %.*s\n", static_cast<int>(caption.size()), caption.data(), static_cast<int>(text.size()),
               text.data());
    return false;
}

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

} // namespace

void ShowError(std::string_view text, std::string_view caption) {
    static_cast<void>(showBox(caption, text, false));
}

bool AskYesNo(std::string_view caption, std::string_view text) {
    return showBox(caption, text, true);
}

} // namespace platform
