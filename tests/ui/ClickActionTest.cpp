// Which element a click acts on, in click order where elements overlap.
#include "ui/ClickAction.hpp"
#include "ui/ButtonLayout.hpp"

#include <gtest/gtest.h>

namespace {

// The regions of the supplied artwork: column at x = 576, Play at (236, 480), Discord at (0, 257).
ClickRegions artworkRegions() {
    ClickRegions regions;
    regions.closeArea = {755.f, 15.f, 30.f, 30.f};
    regions.musicArea = {755.f, 56.f, 30.f, 30.f};
    regions.minimiseArea = {755.f, 97.f, 30.f, 30.f};
    float y = 10.f;
    for (const ui::ButtonImages& button : ui::sideColumn) {
        regions.images[static_cast<std::size_t>(button.normal)] = {576.f, y, 174.f, 43.f};
        regions.images[static_cast<std::size_t>(button.hovered)] = {576.f, y, 174.f, 43.f};
        y += 45.f;
    }
    regions.images[ui::discordNormal] = {0.f, 257.f, 174.f, 43.f};
    regions.images[ui::discordHovered] = {0.f, 257.f, 174.f, 43.f};
    for (const int play : {ui::playNormal, ui::playHovered, ui::playUnavailable})
        regions.images[static_cast<std::size_t>(play)] = {236.f, 480.f, 328.f, 110.f};
    return regions;
}

TEST(ClickAction, EachElementOfTheWindow) {
    const ClickRegions regions = artworkRegions();
    EXPECT_EQ(hitTest(regions, {770.f, 30.f}), ClickTarget::Close);
    EXPECT_EQ(hitTest(regions, {770.f, 70.f}), ClickTarget::Music);
    EXPECT_EQ(hitTest(regions, {770.f, 112.f}), ClickTarget::Minimise);
    EXPECT_EQ(hitTest(regions, {600.f, 30.f}), ClickTarget::Website);
    EXPECT_EQ(hitTest(regions, {600.f, 75.f}), ClickTarget::Register);
    EXPECT_EQ(hitTest(regions, {600.f, 120.f}), ClickTarget::Guide);
    EXPECT_EQ(hitTest(regions, {600.f, 165.f}), ClickTarget::Recruit);
    EXPECT_EQ(hitTest(regions, {600.f, 210.f}), ClickTarget::Unstuck);
    EXPECT_EQ(hitTest(regions, {600.f, 255.f}), ClickTarget::Vote);
    EXPECT_EQ(hitTest(regions, {600.f, 300.f}), ClickTarget::Donate);
    EXPECT_EQ(hitTest(regions, {80.f, 280.f}), ClickTarget::Discord);
    EXPECT_EQ(hitTest(regions, {400.f, 530.f}), ClickTarget::Play);
    EXPECT_EQ(hitTest(regions, {400.f, 300.f}), ClickTarget::None);
    // Edges count; the 2-pixel gap between two buttons does not.
    EXPECT_EQ(hitTest(regions, {576.f, 10.f}), ClickTarget::Website);
    EXPECT_EQ(hitTest(regions, {750.f, 53.f}), ClickTarget::Website);
    EXPECT_EQ(hitTest(regions, {600.f, 54.f}), ClickTarget::None);
    EXPECT_EQ(hitTest(regions, {564.f, 590.f}), ClickTarget::Play);
    EXPECT_EQ(hitTest(regions, {564.5f, 590.f}), ClickTarget::None);
}

TEST(ClickAction, FirstInClickOrderWinsWhereElementsOverlap) {
    ClickRegions regions;
    const sf::FloatRect everywhere{0.f, 0.f, 100.f, 100.f};
    for (sf::FloatRect& image : regions.images)
        image = everywhere;
    regions.closeArea = everywhere;
    regions.minimiseArea = everywhere;
    regions.musicArea = everywhere;
    const sf::Vector2f mouse{50.f, 50.f};

    // Peel the winner away each time: the next in click order must take over.
    const std::pair<ClickTarget, int> order[] = {
        {ClickTarget::Website, ui::websiteNormal}, {ClickTarget::Register, ui::registerNormal},
        {ClickTarget::Recruit, ui::recruitNormal}, {ClickTarget::Unstuck, ui::unstuckNormal},
        {ClickTarget::Vote, ui::voteNormal},       {ClickTarget::Guide, ui::guideNormal},
        {ClickTarget::Donate, ui::donateNormal},   {ClickTarget::Discord, ui::discordNormal},
    };
    EXPECT_EQ(hitTest(regions, mouse), ClickTarget::Close);
    regions.closeArea = {};
    EXPECT_EQ(hitTest(regions, mouse), ClickTarget::Minimise);
    regions.minimiseArea = {};
    for (const auto& [target, image] : order) {
        EXPECT_EQ(hitTest(regions, mouse), target);
        regions.images[static_cast<std::size_t>(image)] = {};
    }
    EXPECT_EQ(hitTest(regions, mouse), ClickTarget::Music) << "music spot after Discord, before Play";
    regions.musicArea = {};
    EXPECT_EQ(hitTest(regions, mouse), ClickTarget::Play);

    // Play is tested on the available image's place; the hovered and unavailable images do not count.
    regions.images[ui::playNormal] = {};
    EXPECT_EQ(hitTest(regions, mouse), ClickTarget::None);
}

} // namespace
