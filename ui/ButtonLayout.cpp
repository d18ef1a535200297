// Placement of the button column, the Play button and the Discord button from the artwork's sizes.
#include "ui/ButtonLayout.hpp"

#include <cmath>

namespace ui {

ImagePositions layoutButtons(const ImageSizes& sizes, sf::Vector2f backgroundSize) {
    ImagePositions positions{};

    float y = sideColumnTop;
    for (const ButtonImages& button : sideColumn) {
        const sf::Vector2f size = sizes[static_cast<std::size_t>(button.normal)];
        const sf::Vector2f at{backgroundSize.x - size.x - sideColumnRightMargin, y};
        positions[static_cast<std::size_t>(button.normal)] = at;
        positions[static_cast<std::size_t>(button.hovered)] = at;
        // Whole pixels from one button to the next, so the column never lands between pixels.
        y = std::trunc(size.y + sideColumnGap + y);
    }

    const sf::Vector2f play = sizes[playNormal];
    const sf::Vector2f playAt{(backgroundSize.x - play.x) * 0.5f, backgroundSize.y - play.y - playBottomMargin};
    for (const int image : {playNormal, playHovered, playUnavailable})
        positions[static_cast<std::size_t>(image)] = playAt;

    const sf::Vector2f discord = sizes[discordNormal];
    const sf::Vector2f discordAt{0.f, backgroundSize.y - discord.y - discordBottomMargin};
    positions[discordNormal] = discordAt;
    positions[discordHovered] = discordAt;
    return positions;
}

} // namespace ui
