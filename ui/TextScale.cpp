// Texts on a scaled display.
#include "ui/TextScale.hpp"

#include <cmath>

namespace ui {

void setScaledSize(sf::Text& text, unsigned size, float scale) {
    text.setCharacterSize(static_cast<unsigned>(std::lround(static_cast<float>(size) * scale)));
    text.setScale(1.f / scale, 1.f / scale);
}

sf::Vector2f onPixelGrid(sf::Vector2f position, float scale) {
    return {std::round(position.x * scale) / scale, std::round(position.y * scale) / scale};
}

sf::FloatRect layoutBounds(const sf::Text& text) {
    const sf::FloatRect local = text.getLocalBounds();
    const sf::Vector2f scale = text.getScale();
    return {local.left * scale.x, local.top * scale.y, local.width * scale.x, local.height * scale.y};
}

} // namespace ui
