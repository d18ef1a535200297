// The message box drawn with SFML, for desktops that have no dialog program installed.
#pragma once

#include <SFML/Graphics/Rect.hpp>
#include <SFML/System/Vector2.hpp>

#include <cstddef>
#include <string_view>

namespace sf {
class Font;
}

namespace platform::detail {

/// The buttons of a box.
enum class MessageButtons { Ok, YesNo };

/// Shows a window titled `caption` with the error icon, `text` wrapped, and the buttons; waits until it is answered.
/// True for OK or Yes (clicked, or Return); false for No, Escape or closing the window. Needs an X display that
/// openX11Display() opened (and still holds open).
[[nodiscard]] bool runMessageBoxWindow(std::string_view caption, std::string_view text, MessageButtons buttons);

/// The same box in `font`; with no font (none of the system's loaded) the text is also printed on standard error,
/// since the box itself then shows only the icon and the buttons' marks.
[[nodiscard]] bool runMessageBoxWindow(std::string_view caption, std::string_view text, MessageButtons buttons,
                                       const sf::Font* font);

/// The box's text as one line on standard error: "caption: text".
void printMessageBoxText(std::string_view caption, std::string_view text);

/// Where button `index` (0 = OK or Yes, 1 = No) sits in a box window of `windowSize`.
[[nodiscard]] sf::FloatRect messageBoxButtonArea(std::size_t index, MessageButtons buttons, sf::Vector2u windowSize);

} // namespace platform::detail
