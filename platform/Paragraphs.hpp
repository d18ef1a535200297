// Splitting a text into paragraphs, for the text rasterisers of both backends: UTF-8 on Linux, UTF-16 on Windows.
#pragma once

#include <string_view>
#include <vector>

namespace platform::detail {

/// The paragraphs of `text`, split at line feeds; a final line feed adds no paragraph. The views point into `text`.
[[nodiscard]] std::vector<std::string_view> splitParagraphs(std::string_view text);
[[nodiscard]] std::vector<std::wstring_view> splitParagraphs(std::wstring_view text);

} // namespace platform::detail
