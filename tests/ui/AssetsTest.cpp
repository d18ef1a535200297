// The embedded artwork and font: every image decodes at its size and format, and each plays its part.
#include "assets/Assets.hpp"

#include <SFML/Graphics/Font.hpp>
#include <SFML/Graphics/Image.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

using assets::ImageSet;

constexpr std::array<ImageSet, 2> sets = {ImageSet::English, ImageSet::Finglish};
constexpr std::array<int, 4> sharedImages = {1, 2, 15, 16};

struct Size {
    unsigned w, h;
};

Size expectedSize(int index) {
    if (index == 0)
        return {800, 600};
    if (index == 1)
        return {30, 27};
    if (index == 2)
        return {32, 29};
    if (index >= 19)
        return {328, 110};
    return {174, 43};
}

const char* setName(ImageSet set) {
    return set == ImageSet::English ? "English" : "Finglish";
}

sf::Image decode(int index, ImageSet set) {
    const auto bytes = assets::image(index, set);
    sf::Image img;
    EXPECT_TRUE(img.loadFromMemory(bytes.data(), bytes.size())) << setName(set) << " image " << index;
    return img;
}

struct Mean {
    double r = 0, g = 0, b = 0, luminance = 0, saturation = 0;
};

// Mean colour of the opaque parts of a rectangle, weighted by alpha, so transparent margins do not count.
Mean meanOf(const sf::Image& img, unsigned x0, unsigned y0, unsigned x1, unsigned y1) {
    Mean m;
    double weight = 0;
    for (unsigned y = y0; y < y1; ++y)
        for (unsigned x = x0; x < x1; ++x) {
            const sf::Color c = img.getPixel(x, y);
            const double a = c.a / 255.0;
            const double hi = std::max({c.r, c.g, c.b}), lo = std::min({c.r, c.g, c.b});
            m.r += a * c.r;
            m.g += a * c.g;
            m.b += a * c.b;
            m.luminance += a * (0.299 * c.r + 0.587 * c.g + 0.114 * c.b);
            m.saturation += a * (hi > 0 ? (hi - lo) / hi : 0);
            weight += a;
        }
    if (weight > 0) {
        m.r /= weight;
        m.g /= weight;
        m.b /= weight;
        m.luminance /= weight;
        m.saturation /= weight;
    }
    return m;
}

TEST(Assets, EveryImageDecodesAtItsSizeAndFormat) {
    for (const ImageSet set : sets) {
        for (int i = 0; i < assets::imageCount; ++i) {
            const auto bytes = assets::image(i, set);
            ASSERT_GT(bytes.size(), 8u) << setName(set) << " image " << i;
            if (i == 0) {
                EXPECT_EQ(bytes[0], 0xFF) << setName(set) << " background is not JPEG";
                EXPECT_EQ(bytes[1], 0xD8) << setName(set) << " background is not JPEG";
            } else {
                const std::array<unsigned char, 4> png = {0x89, 'P', 'N', 'G'};
                EXPECT_TRUE(std::equal(png.begin(), png.end(), bytes.begin())) << setName(set) << " image " << i;
            }
            const sf::Image img = decode(i, set);
            EXPECT_EQ(img.getSize().x, expectedSize(i).w) << setName(set) << " image " << i;
            EXPECT_EQ(img.getSize().y, expectedSize(i).h) << setName(set) << " image " << i;
        }
    }
}

TEST(Assets, SharedImagesAreTheSameAndLabelledOnesDifferByLanguage) {
    for (int i = 0; i < assets::imageCount; ++i) {
        const auto en = assets::image(i, ImageSet::English);
        const auto fa = assets::image(i, ImageSet::Finglish);
        const bool same = std::equal(en.begin(), en.end(), fa.begin(), fa.end());
        const bool shared = std::find(sharedImages.begin(), sharedImages.end(), i) != sharedImages.end();
        // Everything that carries words (the title, the labels) has its own image in each language.
        EXPECT_EQ(same, shared) << "image " << i;
    }
}

TEST(Assets, OutOfRangeIndexGivesNothing) {
    for (const ImageSet set : sets) {
        EXPECT_TRUE(assets::image(-1, set).empty());
        EXPECT_TRUE(assets::image(assets::imageCount, set).empty());
        EXPECT_TRUE(assets::image(1000, set).empty());
    }
}

TEST(Assets, FontLoadsFromMemory) {
    const auto bytes = assets::font();
    ASSERT_FALSE(bytes.empty());
    sf::Font font;
    ASSERT_TRUE(font.loadFromMemory(bytes.data(), bytes.size()));
    EXPECT_EQ(font.getInfo().family, "DejaVu Sans");
    // Metrics at the window's text size prove the face is usable, not just parsed (glyphs would need a display).
    EXPECT_GT(font.getLineSpacing(16), 14.f);
    EXPECT_LT(font.getLineSpacing(16), 24.f);
}

TEST(Assets, CloseAndMusicBadgesArePaintedOnTheirHotSpots) {
    struct Spot {
        unsigned x, y;
    };
    constexpr unsigned size = 30;
    constexpr unsigned band = 5;
    for (const ImageSet set : sets) {
        const sf::Image bg = decode(0, set);
        for (const Spot s : {Spot{755, 15}, Spot{755, 56}}) {
            // The badge's gold rim runs just inside the hot spot's edge.
            int gold = 0, samples = 0;
            for (int k = 0; k < 36; ++k) {
                const double a = k * 3.14159265 / 18;
                const auto x = static_cast<unsigned>(s.x + 15 + 13.5 * std::cos(a));
                const auto y = static_cast<unsigned>(s.y + 15 + 13.5 * std::sin(a));
                const sf::Color c = bg.getPixel(x, y);
                gold += c.r > 120 && c.r > c.b + 40;
                ++samples;
            }
            EXPECT_GT(gold, samples * 3 / 4) << setName(set) << " badge rim at " << s.x << "," << s.y;

            // And the spot stands out from the sky around it.
            const Mean inside = meanOf(bg, s.x + 3, s.y + 3, s.x + size - 3, s.y + size - 3);
            const Mean around = meanOf(bg, s.x - band - 2, s.y + 2, s.x - 2, s.y + size - 2);
            const double diff =
                std::abs(inside.r - around.r) + std::abs(inside.g - around.g) + std::abs(inside.b - around.b);
            EXPECT_GT(diff, 60.0) << setName(set) << " badge at " << s.x << "," << s.y;
        }
    }
}

TEST(Assets, StatesLookTheirPart) {
    for (const ImageSet set : sets) {
        // Hovered buttons are brighter than their normal image: 3/4 … 13/14, Discord 15/16, guide 17/18, Play 19/20.
        for (int normal : {3, 5, 7, 9, 11, 13, 15, 17, 19}) {
            const sf::Image a = decode(normal, set);
            const sf::Image b = decode(normal + 1, set);
            const Mean n = meanOf(a, 0, 0, a.getSize().x, a.getSize().y);
            const Mean h = meanOf(b, 0, 0, b.getSize().x, b.getSize().y);
            EXPECT_GT(h.luminance, n.luminance + 8) << setName(set) << " image " << normal + 1;
        }
        // The Play button that is not yet available is grey and darker than the available one.
        const sf::Image play = decode(19, set);
        const sf::Image wait = decode(21, set);
        const Mean p = meanOf(play, 0, 0, 328, 110);
        const Mean w = meanOf(wait, 0, 0, 328, 110);
        EXPECT_LT(w.saturation, 0.15) << setName(set);
        EXPECT_GT(p.saturation, 0.4) << setName(set);
        EXPECT_LT(w.luminance, p.luminance) << setName(set);

        // The cursors' hot spot is their top-left pixel: the tip of the pointer is painted there.
        for (int cursor : {1, 2}) {
            const sf::Image c = decode(cursor, set);
            EXPECT_GT(c.getPixel(1, 1).a, 128) << "cursor " << cursor;
            EXPECT_GT(c.getPixel(1, 8).a, 128) << "cursor " << cursor;
            EXPECT_EQ(c.getPixel(c.getSize().x - 1, 0).a, 0) << "cursor " << cursor;
        }
    }
}

} // namespace
