// Message boxes on Windows: the system's own, and standard error when no box can show (no desktop, or asked for).
#include "platform/DialogBox.hpp"

#include "platform/windows/WideText.hpp"
#include "platform/windows/Win32.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace platform {

namespace {

// VARNHOLD_DIALOG=stderr sends the texts to standard error, as on Linux: for tests that run without a desktop.
bool boxesSentToStandardError() {
    const char* value = std::getenv("VARNHOLD_DIALOG");
    return value != nullptr && std::string_view(value) == "stderr";
}

// With nobody to ask, the answer is No: nothing large may start unasked.
bool reportOnStandardError(std::string_view caption, std::string_view text) {
    std::string line;
    line.reserve(caption.size() + text.size() + 3);
    line.append(caption).append(": ").append(text).append("\n");
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
    return false;
}

} // namespace

namespace detail {

bool showBox(std::string_view caption, std::string_view text, bool question) {
    if (!boxesSentToStandardError()) {
        // No owner window: the box stands on its own, also before the launcher's window exists.
        const UINT style = MB_ICONERROR | (question ? MB_YESNO : MB_OK);
        const int answer = MessageBoxW(nullptr, detail::toWide(text).c_str(), detail::toWide(caption).c_str(), style);
        if (answer == IDYES || answer == IDNO || answer == IDOK) {
            return answer == IDYES;
        }
        // No box could be shown (a session without a desktop): the text must still reach someone.
    }
    return reportOnStandardError(caption, text);
}

} // namespace detail

} // namespace platform
