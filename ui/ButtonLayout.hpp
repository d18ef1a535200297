// Where the window's buttons stand: the image numbers of the artwork and the placement of every button sprite.
#pragma once

#include "assets/Assets.hpp"

#include <SFML/Graphics/Rect.hpp>
#include <SFML/System/Vector2.hpp>

#include <array>
#include <string_view>

namespace ui {

/// The artwork's image numbers (see assets::image).
enum Image : int {
    background = 0,
    cursorNormal = 1,
    cursorActive = 2,
    registerNormal = 3,
    registerHovered = 4,
    donateNormal = 5,
    donateHovered = 6,
    recruitNormal = 7,
    recruitHovered = 8,
    websiteNormal = 9,
    websiteHovered = 10,
    unstuckNormal = 11,
    unstuckHovered = 12,
    voteNormal = 13,
    voteHovered = 14,
    discordNormal = 15,
    discordHovered = 16,
    guideNormal = 17,
    guideHovered = 18,
    playNormal = 19,
    playHovered = 20,
    playUnavailable = 21,
};

/// One button with its link key, its normal and its hovered image.
struct ButtonImages {
    std::string_view key;
    int normal;
    int hovered;
};

/// The right-hand column, top to bottom.
inline constexpr std::array<ButtonImages, 7> sideColumn{{{"website", websiteNormal, websiteHovered},
                                                         {"register", registerNormal, registerHovered},
                                                         {"guide", guideNormal, guideHovered},
                                                         {"recruit", recruitNormal, recruitHovered},
                                                         {"unstuck", unstuckNormal, unstuckHovered},
                                                         {"vote", voteNormal, voteHovered},
                                                         {"donate", donateNormal, donateHovered}}};

inline constexpr float sideColumnTop = 10.f;
inline constexpr float sideColumnRightMargin = 50.f; // room for the close and music symbols of the background
inline constexpr float sideColumnGap = 2.f;
inline constexpr float playBottomMargin = 10.f;
inline constexpr float discordBottomMargin = 300.f;

using ImageSizes = std::array<sf::Vector2f, assets::imageCount>;
using ImagePositions = std::array<sf::Vector2f, assets::imageCount>;

/// Positions of every button image (normal, hovered and the unavailable Play image) for images of `sizes` on a
/// background of `backgroundSize`; the background and the cursors stay at (0, 0).
[[nodiscard]] ImagePositions layoutButtons(const ImageSizes& sizes, sf::Vector2f backgroundSize);

/// The inclusive hit test every hover and hot spot uses: all four edges count as inside.
[[nodiscard]] inline bool containsInclusive(const sf::FloatRect& rect, sf::Vector2f point) noexcept {
    return rect.left <= point.x && point.x <= rect.left + rect.width && rect.top <= point.y &&
           point.y <= rect.top + rect.height;
}

} // namespace ui
