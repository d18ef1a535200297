// Modal message boxes: the error box and the Yes/No question, blocking the calling thread.
#pragma once

#include <string_view>

namespace platform {

/// Caption of every error box the launcher shows.
inline constexpr std::string_view errorCaption = "Launcher";

/// Shows `text` with an error icon and an OK button; returns when the user closed it.
void ShowError(std::string_view text, std::string_view caption = errorCaption);

/// Asks `text` with Yes and No; true only for Yes. With no display at all the answer is No.
[[nodiscard]] bool AskYesNo(std::string_view caption, std::string_view text);

} // namespace platform
