// Placement of the button column, Play and Discord from the artwork's sizes.
#include "ui/ButtonLayout.hpp"

#include <gtest/gtest.h>

namespace {

ui::ImageSizes artworkSizes() {
    ui::ImageSizes sizes{};
    sizes[ui::background] = {800.f, 600.f};
    sizes[ui::cursorNormal] = {30.f, 27.f};
    sizes[ui::cursorActive] = {32.f, 29.f};
    for (int image = ui::registerNormal; image <= ui::guideHovered; ++image)
        sizes[static_cast<std::size_t>(image)] = {174.f, 43.f};
    for (int image = ui::playNormal; image <= ui::playUnavailable; ++image)
        sizes[static_cast<std::size_t>(image)] = {328.f, 110.f};
    return sizes;
}

TEST(ButtonLayout, SuppliedArtworkGivesTheKnownFigures) {
    const ui::ImagePositions at = ui::layoutButtons(artworkSizes(), {800.f, 600.f});
    const float expectedY[] = {10.f, 55.f, 100.f, 145.f, 190.f, 235.f, 280.f};
    for (std::size_t row = 0; row < ui::sideColumn.size(); ++row) {
        const ui::ButtonImages& button = ui::sideColumn[row];
        EXPECT_EQ(at[static_cast<std::size_t>(button.normal)], sf::Vector2f(576.f, expectedY[row])) << button.key;
        EXPECT_EQ(at[static_cast<std::size_t>(button.hovered)], sf::Vector2f(576.f, expectedY[row])) << button.key;
    }
    EXPECT_EQ(ui::sideColumn.front().key, "website");
    EXPECT_EQ(ui::sideColumn.back().key, "donate");
    for (const int play : {ui::playNormal, ui::playHovered, ui::playUnavailable})
        EXPECT_EQ(at[static_cast<std::size_t>(play)], sf::Vector2f(236.f, 480.f));
    EXPECT_EQ(at[ui::discordNormal], sf::Vector2f(0.f, 257.f));
    EXPECT_EQ(at[ui::discordHovered], sf::Vector2f(0.f, 257.f));
    EXPECT_EQ(at[ui::background], sf::Vector2f(0.f, 0.f));
}

TEST(ButtonLayout, FollowsEachButtonsOwnSize) {
    ui::ImageSizes sizes = artworkSizes();
    sizes[ui::websiteNormal] = {200.f, 40.5f}; // first in the column
    sizes[ui::guideNormal] = {150.f, 43.f};    // third
    sizes[ui::playNormal] = {301.f, 100.f};
    const ui::ImagePositions at = ui::layoutButtons(sizes, {1000.f, 700.f});
    EXPECT_EQ(at[ui::websiteNormal], sf::Vector2f(750.f, 10.f));
    // The next row starts at a whole pixel: 40.5 + 2 + 10 = 52.5 → 52.
    EXPECT_EQ(at[ui::registerNormal], sf::Vector2f(776.f, 52.f));
    EXPECT_EQ(at[ui::guideNormal], sf::Vector2f(800.f, 97.f));
    EXPECT_EQ(at[ui::recruitNormal], sf::Vector2f(776.f, 142.f));
    EXPECT_EQ(at[ui::playNormal], sf::Vector2f(349.5f, 590.f));
    EXPECT_EQ(at[ui::playUnavailable], at[ui::playNormal]); // placed from the available image
    EXPECT_EQ(at[ui::discordNormal], sf::Vector2f(0.f, 357.f));
}

TEST(ButtonLayout, InclusiveHitTest) {
    const sf::FloatRect rect{10.f, 20.f, 30.f, 40.f};
    EXPECT_TRUE(ui::containsInclusive(rect, {10.f, 20.f}));
    EXPECT_TRUE(ui::containsInclusive(rect, {40.f, 60.f})); // right and bottom edges count
    EXPECT_FALSE(ui::containsInclusive(rect, {40.5f, 30.f}));
    EXPECT_FALSE(ui::containsInclusive(rect, {20.f, 19.5f}));
}

} // namespace
