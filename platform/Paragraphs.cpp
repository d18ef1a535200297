// One split for narrow and wide texts, so the two rasterisers cannot come to disagree on where paragraphs end.
#include "platform/Paragraphs.hpp"

#include <cstddef>

namespace platform::detail {

namespace {

template <typename Char> std::vector<std::basic_string_view<Char>> split(std::basic_string_view<Char> text) {
    std::vector<std::basic_string_view<Char>> paragraphs;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find(Char('\n'), start);
        if (end == std::basic_string_view<Char>::npos) {
            paragraphs.push_back(text.substr(start));
            break;
        }
        paragraphs.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return paragraphs;
}

} // namespace

std::vector<std::string_view> splitParagraphs(std::string_view text) {
    return split(text);
}

std::vector<std::wstring_view> splitParagraphs(std::wstring_view text) {
    return split(text);
}

} // namespace platform::detail
