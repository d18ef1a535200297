// The error box and the Yes/No question, both one call of the backend's box.
#include "platform/Dialogs.hpp"

#include "platform/DialogBox.hpp"

namespace platform {

void ShowError(std::string_view text, std::string_view caption) {
    static_cast<void>(detail::showBox(caption, text, false));
}

bool AskYesNo(std::string_view caption, std::string_view text) {
    return detail::showBox(caption, text, true);
}

} // namespace platform
