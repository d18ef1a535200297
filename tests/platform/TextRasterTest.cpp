// The text rasteriser: sizes, right alignment, Persian shaping, white glyphs on transparency, no files left.
#include "platform/TextRaster.hpp"

#include "support/TempFolder.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;
using platform::TextImage;
using platform::TextRaster;
using platform::TextSize;

constexpr const char* persianGreeting = "\u0633\u0644\u0627\u0645 \u062f\u0646\u06cc\u0627"; // "hello world"
constexpr const char* persianWord = "\u062e\u0648\u0634";                                    // "good"
constexpr const char* persianNow = "\u0627\u0644\u0627\u0646"; // "now": it begins with a tall alef

struct Ink {
    int left = -1;  // first column with any alpha, -1 when none
    int right = -1; // last column with any alpha
    unsigned pixels = 0;
};

struct Pixel {
    std::uint8_t r, g, b, a;
};

Pixel pixelAt(const TextImage& image, unsigned x, unsigned y) {
    const std::uint8_t* p = &image.rgba[(std::size_t{y} * image.size.width + x) * 4];
    return {p[0], p[1], p[2], p[3]};
}

Ink inkInRows(const TextImage& image, unsigned top, unsigned bottom) {
    Ink ink;
    for (unsigned y = top; y < bottom && y < image.size.height; ++y)
        for (unsigned x = 0; x < image.size.width; ++x)
            if (pixelAt(image, x, y).a > 0) {
                ++ink.pixels;
                if (ink.left < 0 || static_cast<int>(x) < ink.left)
                    ink.left = static_cast<int>(x);
                ink.right = std::max(ink.right, static_cast<int>(x));
            }
    return ink;
}

// Rows between the first and the last inked row of one column, from row `top` down.
unsigned inkHeight(const TextImage& image, unsigned x, unsigned top = 0) {
    int first = -1;
    int last = -1;
    for (unsigned y = top; y < image.size.height; ++y)
        if (pixelAt(image, x, y).a > 0) {
            if (first < 0)
                first = static_cast<int>(y);
            last = static_cast<int>(y);
        }
    return first < 0 ? 0u : static_cast<unsigned>(last - first + 1);
}

TEST(TextRaster, MeasuresWidestLineAndSumOfLineHeights) {
    const TextRaster rasteriser;
    EXPECT_EQ(rasteriser.measure(""), TextSize{});

    const TextSize wide = rasteriser.measure("A rather wide first line");
    const TextSize narrow = rasteriser.measure("Short");
    ASSERT_GT(wide.width, narrow.width);
    ASSERT_GT(narrow.height, 0u);
    EXPECT_EQ(rasteriser.measure("A rather wide first line\nShort"),
              (TextSize{wide.width, wide.height + narrow.height}));
    EXPECT_EQ(rasteriser.measure("Short\nA rather wide first line"),
              (TextSize{wide.width, wide.height + narrow.height}));
    // A final line feed adds no line.
    EXPECT_EQ(rasteriser.measure("Short\n"), narrow);
}

TEST(TextRaster, TwoLinesAreRightAlignedWhiteOnTransparent) {
    const TextRaster rasteriser;
    const std::string text = "A rather wide first line\nShort";
    const TextImage image = rasteriser.rasterise(text, rasteriser.measure(text));
    ASSERT_EQ(image.size, rasteriser.measure(text));

    const unsigned firstLineHeight = rasteriser.measure("A rather wide first line").height;
    const Ink first = inkInRows(image, 0, firstLineHeight);
    const Ink second = inkInRows(image, firstLineHeight, image.size.height);
    ASSERT_GT(first.pixels, 0u);
    ASSERT_GT(second.pixels, 0u);

    const int width = static_cast<int>(image.size.width);
    const int shortWidth = static_cast<int>(rasteriser.measure("Short").width);
    constexpr int slack = 3; // side bearings of the first and last glyph
    EXPECT_LE(first.left, slack);
    EXPECT_GE(first.right, width - 1 - slack);
    // The short line hugs the right edge and leaves the left of the image untouched.
    EXPECT_GE(second.right, width - 1 - slack);
    EXPECT_GE(second.left, width - shortWidth - slack);

    unsigned partlyCovered = 0;
    for (unsigned y = 0; y < image.size.height; ++y)
        for (unsigned x = 0; x < image.size.width; ++x) {
            const Pixel pixel = pixelAt(image, x, y);
            if (pixel.a == 0) {
                EXPECT_EQ(pixel.r + pixel.g + pixel.b, 0) << "at " << x << "," << y;
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

TEST(TextRaster, WordsBreakAtTheBoxAndRowsBelowItAreCut) {
    const TextRaster rasteriser;
    const std::string text = "one two three four five six seven eight";
    const TextSize natural = rasteriser.measure(text);
    const TextSize wrapped = rasteriser.measure(text, natural.width / 2);
    EXPECT_LE(wrapped.width, natural.width / 2);
    EXPECT_GE(wrapped.height, 2 * natural.height) << "the words go on in further lines";

    const TextImage whole = rasteriser.rasterise(text, wrapped);
    const TextImage cut = rasteriser.rasterise(text, {wrapped.width, natural.height});
    ASSERT_EQ(whole.size, wrapped);
    ASSERT_EQ(cut.size, (TextSize{wrapped.width, natural.height}));
    EXPECT_GT(inkInRows(whole, natural.height, wrapped.height).pixels, 0u);
    // The shorter box shows the first line exactly as the taller one does, and nothing of the others.
    const auto rowBytes = std::size_t{wrapped.width} * 4;
    EXPECT_TRUE(std::equal(cut.rgba.begin(), cut.rgba.end(), whole.rgba.begin(),
                           whole.rgba.begin() + static_cast<std::ptrdiff_t>(rowBytes * natural.height)));
}

TEST(TextRaster, PersianIsDrawnRightAlignedAndJoined) {
    const TextRaster rasteriser;
    const std::string text = std::string(persianGreeting) + "\n" + persianWord;
    const TextImage image = rasteriser.rasterise(text, rasteriser.measure(text));
    ASSERT_EQ(image.size, rasteriser.measure(text));
    const unsigned firstLineHeight = rasteriser.measure(persianGreeting).height;
    const Ink first = inkInRows(image, 0, firstLineHeight);
    const Ink second = inkInRows(image, firstLineHeight, image.size.height);
    ASSERT_GT(first.pixels, 0u);
    ASSERT_GT(second.pixels, 0u);
    const int width = static_cast<int>(image.size.width);
    constexpr int slack = 3;
    EXPECT_GE(second.right, width - 1 - slack);
    EXPECT_GT(second.left, width / 3) << "the short word stands at the right";

    // Joined forms are narrower than the same letters standing alone. The ink tells, not the measured box: Wine's
    // GDI measures letters unjoined, though it draws them joined.
    const auto inkWidth = [&](const std::string& word) {
        const TextImage drawn = rasteriser.rasterise(word, rasteriser.measure(word));
        const Ink ink = inkInRows(drawn, 0, drawn.size.height);
        return ink.pixels == 0 ? 0 : ink.right - ink.left + 1;
    };
    const int joined = inkWidth("\u0633\u0644\u0627\u0645");
    const int isolated = inkWidth("\u0633") + inkWidth("\u0644") + inkWidth("\u0627") + inkWidth("\u0645");
    EXPECT_LT(joined, isolated);
}

TEST(TextRaster, LinesKeepTheWindowsPitch) {
    const TextRaster rasteriser;
    const std::string word = persianWord;
    const std::string fourLines = word + "\n" + word + "\n" + word + "\n" + word;
    const TextSize one = rasteriser.measure(word);
    const TextSize four = rasteriser.measure(fourLines);
    EXPECT_GE(one.height, static_cast<unsigned>(TextRaster::cellHeight));
    EXPECT_LE(one.height, TextRaster::maxLinePitch);
    EXPECT_EQ(four.height, 4 * one.height);
    // Every line is drawn in its own band of rows.
    const TextImage image = rasteriser.rasterise(fourLines, four);
    for (unsigned line = 0; line < 4; ++line)
        EXPECT_GT(inkInRows(image, line * one.height, (line + 1) * one.height).pixels, 10u) << "line " << line;
}

TEST(TextRaster, EachParagraphReadsInTheDirectionOfItsFirstLetter) {
    const TextRaster rasteriser;
    // Both texts start with a tall letter and end with a full stop a few rows high: the end it stands at shows the
    // direction.
    const auto stopAtLeft = [&](const std::string& text) {
        const TextImage image = rasteriser.rasterise(text, rasteriser.measure(text));
        const Ink ink = inkInRows(image, 0, image.size.height);
        const unsigned left = inkHeight(image, static_cast<unsigned>(ink.left));
        const unsigned right = inkHeight(image, static_cast<unsigned>(ink.right));
        EXPECT_NE(left < right, right < left) << text << ": one end holds the full stop";
        return left < right;
    };
    EXPECT_FALSE(stopAtLeft("Dorood bar shoma.")) << "a Latin paragraph is not mirrored";
    EXPECT_TRUE(stopAtLeft(std::string(persianNow) + "."));
    // The direction is chosen per paragraph, not once for the text.
    const std::string mixed = std::string(persianGreeting) + ".\nSalam bar shoma.";
    const TextImage image = rasteriser.rasterise(mixed, rasteriser.measure(mixed));
    const unsigned pitch = rasteriser.measure(persianNow).height;
    const Ink latin = inkInRows(image, pitch, image.size.height);
    ASSERT_GT(latin.pixels, 0u);
    EXPECT_LT(inkHeight(image, static_cast<unsigned>(latin.right), pitch),
              inkHeight(image, static_cast<unsigned>(latin.left), pitch));
}

TEST(TextRaster, EmptyOrBrokenInputStillGivesSensibleImages) {
    const TextRaster rasteriser;
    EXPECT_TRUE(rasteriser.rasterise("", rasteriser.measure("")).empty());
    // A byte that is not UTF-8 costs one character, not the whole text.
    const std::string brokenText = "abc\xff"
                                   "def";
    const TextImage broken = rasteriser.rasterise(brokenText, rasteriser.measure(brokenText));
    EXPECT_GT(broken.size.width, rasteriser.measure("abcdef").width / 2);
    EXPECT_GT(inkInRows(broken, 0, broken.size.height).pixels, 0u);
}

TEST(TextRaster, LeavesNoFileBehind) {
    const fs::path before = fs::current_path();
    const testing_support::TempFolder temporary;
    const fs::path folder = temporary.path();
    fs::current_path(folder);
    {
        const TextRaster rasteriser;
        const std::string text = std::string(persianGreeting) + "\nLine two";
        EXPECT_FALSE(rasteriser.rasterise(text, rasteriser.measure(text)).empty());
    }
    const bool empty = fs::is_empty(folder);
    fs::current_path(before);
    EXPECT_TRUE(empty) << "no temp.bmp or any other file is written";
}

} // namespace
