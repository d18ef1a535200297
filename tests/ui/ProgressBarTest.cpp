// The progress bar's words and figures, and how rarely it asks the frame loop for a new picture.
#include "ui/ProgressBar.hpp"

#include "assets/Assets.hpp"
#include "support/PrivateDisplay.hpp"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

DownloadProgress halfway() {
    DownloadProgress p;
    p.active = true;
    p.bytesDone = 12'300'000;
    p.bytesTotal = 45'600'000;
    p.fileNumber = 3;
    p.fileCount = 10;
    return p;
}

TEST(ProgressLine, SaysFilesBytesSpeedAndTimeLeftInBothLanguages) {
    EXPECT_EQ(progressLine(halfway(), 1'200'000, Language::English),
              "File 3 of 10 \u00b7 12.3 MB of 45.6 MB \u00b7 1.2 MB/s \u00b7 0:28 left");
    EXPECT_EQ(progressLine(halfway(), 1'200'000, Language::Finglish),
              "File 3 az 10 \u00b7 12.3 MB az 45.6 MB \u00b7 1.2 MB/s \u00b7 0:28 mande");
    EXPECT_EQ(progressLine(halfway(), -1, Language::English), "File 3 of 10 \u00b7 12.3 MB of 45.6 MB")
        << "no speed before there is one, and so no time left";
    DownloadProgress growing = halfway();
    growing.totalKnown = false;
    EXPECT_EQ(progressLine(growing, 10'000, Language::English),
              "File 3 of 10 \u00b7 12.3 MB of 45.6 MB \u00b7 10.0 KB/s")
        << "a total still growing gives no time left";

    EXPECT_EQ(formatBytes(999), "999 B");
    EXPECT_EQ(formatBytes(999'960), "1.0 MB");
    EXPECT_EQ(formatBytes(17'800'000'000), "17.8 GB");
}

class ProgressBarTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // Glyphs are textures: text layout needs a display even when nothing is shown.
        if (std::getenv("DISPLAY") == nullptr)
            setenv("DISPLAY", testing_support::startPrivateDisplay().c_str(), 1);
    }
    void SetUp() override {
        const std::span<const unsigned char> bytes = assets::font();
        ASSERT_TRUE(m_font.loadFromMemory(bytes.data(), bytes.size()));
        m_bar.place({236, 480, 328, 110});
    }
    sf::Font m_font;
    ProgressBar m_bar{m_font, Language::English};
};

TEST_F(ProgressBarTest, ShowsOnlyWhileDownloadingAndChangesAFewTimesASecondAtMost) {
    DownloadProgress idle;
    EXPECT_FALSE(m_bar.update(idle, sf::seconds(0)));
    EXPECT_FALSE(m_bar.visible());

    DownloadProgress p = halfway();
    EXPECT_TRUE(m_bar.update(p, sf::seconds(1)));
    EXPECT_TRUE(m_bar.visible());
    EXPECT_NEAR(m_bar.fraction(), 12.3 / 45.6, 1e-6);
    EXPECT_LT(m_bar.barArea().top + m_bar.barArea().height, 480.f) << "above Play, not over it";

    p.bytesDone += 5'000'000;
    EXPECT_FALSE(m_bar.update(p, sf::seconds(1) + ProgressBar::refreshInterval / 2.f));
    EXPECT_TRUE(m_bar.update(p, sf::seconds(1) + ProgressBar::refreshInterval));
    EXPECT_EQ(m_bar.line(), "File 3 of 10 \u00b7 17.3 MB of 45.6 MB");
    EXPECT_FALSE(m_bar.update(p, sf::seconds(1.5f))) << "the same figures need no new picture";

    p.bytesReceived = 2'000'000; // two megabytes in the four seconds since the first sample
    (void)m_bar.update(p, sf::seconds(5));
    EXPECT_EQ(m_bar.line(), "File 3 of 10 \u00b7 17.3 MB of 45.6 MB \u00b7 500.0 KB/s \u00b7 0:57 left");

    EXPECT_TRUE(m_bar.update(idle, sf::seconds(5.01f))) << "gone at once when the downloads end";
    EXPECT_FALSE(m_bar.visible());
}

} // namespace
