// The one box each backend knows how to show; ShowError and AskYesNo are built on it for every OS.
#pragma once

#include <string_view>

namespace platform::detail {

/// Shows `text` under `caption` with an error icon: Yes and No when `question`, else OK. True only for Yes; with
/// nobody to ask (no box could be shown) the text goes to standard error and the answer is No.
[[nodiscard]] bool showBox(std::string_view caption, std::string_view text, bool question);

} // namespace platform::detail
