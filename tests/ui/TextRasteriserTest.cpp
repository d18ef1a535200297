// The Pango text rasteriser: sizes, right alignment, Persian shaping, white glyphs on transparency, no files left.
#include "ui/TextRasteriser.hpp"

#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

constexpr const char* persianGreeting = "\u0633\u0644\u0627\u0645 \u062f\u0646\u06cc\u0627"; // "hello world"
constexpr const char* persianWord = "\u062e\u0648\u0634";                                    // "good"

struct Ink {
    int left = -1;  // first column with any alpha, -1 when none
    int right = -1; // last column with any alpha
    unsigned pixels = 0;
};

Ink inkInRows(const sf::Image& image, unsigned top, unsigned bottom) {
    Ink ink;
    for (unsigned y = top; y < bottom && y < image.getSize().y; ++y)
        for (unsigned x = 0; x < image.getSize().x; ++x)
            if (image.getPixel(x, y).a > 0) {
                ++ink.pixels;
                if (ink.left < 0 || static_cast<int>(x) < ink.left)
                    ink.left = static_cast<int>(x);
                ink.right = std::max(ink.right, static_cast<int>(x));
            }
    return ink;
}

bool familyCoversPersian(const std::string& family) {
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcLangSet* languages = FcLangSetCreate();
    FcLangSetAdd(languages, reinterpret_cast<const FcChar8*>("fa"));
    FcPatternAddLangSet(pattern, FC_LANG, languages);
    FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, nullptr);
    FcFontSet* fonts = FcFontList(nullptr, pattern, objects);
    const bool covers = fonts != nullptr && fonts->nfont > 0;
    if (fonts != nullptr)
        FcFontSetDestroy(fonts);
    FcObjectSetDestroy(objects);
    FcLangSetDestroy(languages);
    FcPatternDestroy(pattern);
    return covers;
}

TEST(TextRasteriser, MeasuresWidestLineAndSumOfLineHeights) {
    const TextRasteriser rasteriser;
    EXPECT_EQ(rasteriser.measure(""), sf::Vector2u(0, 0));

    const sf::Vector2u wide = rasteriser.measure("A rather wide first line");
    const sf::Vector2u narrow = rasteriser.measure("Short");
    ASSERT_GT(wide.x, narrow.x);
    ASSERT_GT(narrow.y, 0u);
    EXPECT_EQ(rasteriser.measure("A rather wide first line\nShort"), sf::Vector2u(wide.x, wide.y + narrow.y));
    EXPECT_EQ(rasteriser.measure("Short\nA rather wide first line"), sf::Vector2u(wide.x, wide.y + narrow.y));
    // A final line feed adds no line.
    EXPECT_EQ(rasteriser.measure("Short\n"), narrow);
}

TEST(TextRasteriser, TwoLinesAreRightAlignedWhiteOnTransparent) {
    const TextRasteriser rasteriser;
    const std::string text = "A rather wide first line\nShort";
    const sf::Image image = rasteriser.rasterise(text);
    ASSERT_EQ(image.getSize(), rasteriser.measure(text));

    const unsigned firstLineHeight = rasteriser.measure("A rather wide first line").y;
    const Ink first = inkInRows(image, 0, firstLineHeight);
    const Ink second = inkInRows(image, firstLineHeight, image.getSize().y);
    ASSERT_GT(first.pixels, 0u);
    ASSERT_GT(second.pixels, 0u);

    const int width = static_cast<int>(image.getSize().x);
    const int shortWidth = static_cast<int>(rasteriser.measure("Short").x);
    constexpr int slack = 3; // side bearings of the first and last glyph
    EXPECT_LE(first.left, slack);
    EXPECT_GE(first.right, width - 1 - slack);
    // The short line hugs the right edge and leaves the left of the image untouched.
    EXPECT_GE(second.right, width - 1 - slack);
    EXPECT_GE(second.left, width - shortWidth - slack);

    unsigned partlyCovered = 0;
    for (unsigned y = 0; y < image.getSize().y; ++y)
        for (unsigned x = 0; x < image.getSize().x; ++x) {
            const sf::Color pixel = image.getPixel(x, y);
            if (pixel.a == 0) {
                EXPECT_EQ(pixel, sf::Color::Transparent) << "at " << x << "," << y;
                continue;
            }
            // Straight alpha: smoothed edges are white with less alpha, not grey and opaque.
            EXPECT_GE(pixel.r, 250) << "at " << x << "," << y;
            EXPECT_GE(pixel.g, 250) << "at " << x << "," << y;
            EXPECT_GE(pixel.b, 250) << "at " << x << "," << y;
            if (pixel.a < 255)
                ++partlyCovered;
        }
    EXPECT_GT(partlyCovered, 0u) << "anti-aliased edges keep partial alpha";
}

TEST(TextRasteriser, PersianIsDrawnRightAlignedWithAPersianFace) {
    const std::string family = TextRasteriser::resolvedFamily();
    EXPECT_TRUE(familyCoversPersian(family)) << "Tahoma resolves to " << family;

    const TextRasteriser rasteriser;
    const std::string text = std::string(persianGreeting) + "\n" + persianWord;
    const sf::Image image = rasteriser.rasterise(text);
    ASSERT_EQ(image.getSize(), rasteriser.measure(text));
    const unsigned firstLineHeight = rasteriser.measure(persianGreeting).y;
    const Ink first = inkInRows(image, 0, firstLineHeight);
    const Ink second = inkInRows(image, firstLineHeight, image.getSize().y);
    ASSERT_GT(first.pixels, 0u);
    ASSERT_GT(second.pixels, 0u);
    const int width = static_cast<int>(image.getSize().x);
    constexpr int slack = 3;
    EXPECT_GE(second.right, width - 1 - slack);
    EXPECT_GT(second.left, width / 3) << "the short word stands at the right";

    // Joined forms are narrower than the same letters standing alone.
    const unsigned joined = rasteriser.measure("\u0633\u0644\u0627\u0645").x;
    const unsigned isolated = rasteriser.measure("\u0633").x + rasteriser.measure("\u0644").x +
                              rasteriser.measure("\u0627").x + rasteriser.measure("\u0645").x;
    EXPECT_LT(joined, isolated);
}

TEST(TextRasteriser, EmptyOrBrokenInputStillGivesSensibleImages) {
    const TextRasteriser rasteriser;
    EXPECT_EQ(rasteriser.rasterise("").getSize(), sf::Vector2u(0, 0));
    // A byte that is not UTF-8 costs one character, not the whole text.
    const sf::Image broken = rasteriser.rasterise("abc\xff"
                                                  "def");
    EXPECT_GT(broken.getSize().x, rasteriser.measure("abcdef").x / 2);
    EXPECT_GT(inkInRows(broken, 0, broken.getSize().y).pixels, 0u);
}

TEST(TextRasteriser, LeavesNoFileBehind) {
    const fs::path before = fs::current_path();
    const fs::path folder = fs::temp_directory_path() / ("rasteriser-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    fs::current_path(folder);
    {
        const TextRasteriser rasteriser;
        const sf::Image image = rasteriser.rasterise(std::string(persianGreeting) + "\nLine two");
        EXPECT_GT(image.getSize().x, 0u);
    }
    const bool empty = fs::is_empty(folder);
    fs::current_path(before);
    fs::remove_all(folder);
    EXPECT_TRUE(empty) << "no temp.bmp or any other file is written";
}

} // namespace
