// The message language and the English/Finglish text pairs every user-facing message is made of.
#pragma once

#include <string_view>

/// 1 = Finglish, anything else English; the launcher starts in Finglish until the server's "lang" is read.
enum class Language : int { English = 0, Finglish = 1 };

/// One message in both languages.
struct TextPair {
    std::string_view english;
    std::string_view finglish;

    [[nodiscard]] constexpr std::string_view in(Language language) const noexcept {
        return language == Language::Finglish ? finglish : english;
    }
};
