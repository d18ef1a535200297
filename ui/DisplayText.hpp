// The characters a text's bytes stand for, as the window shows them.
#pragma once

#include <SFML/System/String.hpp>

#include <string_view>

/// A text's bytes as characters: UTF-8 where they form valid UTF-8, any other byte widened on its own. Escapes are
/// not looked at: the server document's texts arrive decoded.
[[nodiscard]] sf::String decodeDisplayText(std::string_view text);
