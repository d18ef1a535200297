// Texts on a scaled display: rasterised at the screen's size, measured and placed in the window's layout units.
#pragma once

#include <SFML/Graphics/Rect.hpp>
#include <SFML/Graphics/Text.hpp>
#include <SFML/System/Vector2.hpp>

namespace ui {

/// Gives `text` a character size of `size` layout units, its glyphs rasterised at `scale` times that and the text
/// drawn at 1 / `scale`: each glyph pixel meets one of the screen's, while its bounds stay in layout units.
void setScaledSize(sf::Text& text, unsigned size, float scale);

/// `position` (layout units) moved to the nearest point that lands on a whole screen pixel at `scale`: a glyph
/// drawn between pixels comes out blurred.
[[nodiscard]] sf::Vector2f onPixelGrid(sf::Vector2f position, float scale);

/// The local bounds of `text` in layout units (getLocalBounds is in the rasterised size).
[[nodiscard]] sf::FloatRect layoutBounds(const sf::Text& text);

} // namespace ui
