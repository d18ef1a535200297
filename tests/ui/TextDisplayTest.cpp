// The window's texts: announcement escapes, realm line and status positions, placeholders, UTF-8 status text.
#include "ui/TextDisplay.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

std::u32string utf32(const sf::String& text) {
    const std::basic_string<sf::Uint32> data = text.toUtf32();
    return std::u32string(data.begin(), data.end());
}

std::u32string decoded(const std::string& text) {
    return utf32(decodeDisplayText(text));
}

TEST(DecodeDisplayText, Utf8IsReadAndOtherBytesWidened) {
    EXPECT_EQ(decoded(""), U"");
    EXPECT_EQ(decoded("\xd8\xb3\xd9\x84\xd8\xa7\xd9\x85"), U"\u0633\u0644\u0627\u0645");
    EXPECT_EQ(decoded("caf\xc3\xa9 \\u0041\n"), U"caf\u00e9 \\u0041\n"); // escapes are not the display's business
    EXPECT_EQ(decoded("Caf\xe9 Noir"), U"Caf\u00e9 Noir");
    EXPECT_EQ(decoded("\xc0\x80"), U"\u00c0\u0080"); // an over-long form is not UTF-8
    EXPECT_EQ(decoded("\xe2\x82"), U"\u00e2\u0082"); // nor is a cut-off sequence
}

class TextDisplayTest : public ::testing::Test {
protected:
    sf::Font font; // never loaded: positions and strings need no glyphs
};

TEST_F(TextDisplayTest, PlaceholdersBeforeTheFirstFrame) {
    const TextDisplay finglish(font, Language::Finglish);
    EXPECT_EQ(finglish.statusLabel().getString().toAnsiString(), "Check launcher server...");
    EXPECT_EQ(finglish.announcementLabel().getString().toAnsiString(), "Loading...");
    EXPECT_EQ(finglish.statusLabel().getCharacterSize(), 12u);
    EXPECT_EQ(finglish.announcementLabel().getCharacterSize(), 12u);
    EXPECT_TRUE(finglish.realmLines().empty());
    EXPECT_TRUE(finglish.languageCode().empty());
    EXPECT_EQ(finglish.announcementImage().getTexture(), nullptr);

    const TextDisplay english(font, Language::English);
    EXPECT_EQ(english.statusLabel().getString().toAnsiString(), "Checking the launcher server...");
}

TEST_F(TextDisplayTest, StatusLineFollowsTheWorkersAtTheBottomRight) {
    TextDisplay texts(font, Language::Finglish);
    texts.setBackgroundSize({800.f, 600.f});
    texts.setStatus("Sabr konin ...");
    EXPECT_EQ(texts.statusLabel().getString().toAnsiString(), "Sabr konin ...");
    EXPECT_EQ(texts.statusLabel().getPosition(), sf::Vector2f(650.f, 570.f));
    EXPECT_EQ(texts.statusLabel().getCharacterSize(), 12u);
    EXPECT_EQ(texts.statusLabel().getFillColor(), sf::Color::White);

    // A change between two frames shows in the next; an unchanged one keeps the same text.
    texts.setStatus("Download - Requirements");
    EXPECT_EQ(texts.statusLabel().getString().toAnsiString(), "Download - Requirements");
    texts.setStatus("Download - Requirements");
    EXPECT_EQ(texts.statusLabel().getString().toAnsiString(), "Download - Requirements");
    EXPECT_EQ(texts.statusLabel().getPosition(), sf::Vector2f(650.f, 570.f));

    // UTF-8 is read as UTF-8, not byte by byte.
    texts.setStatus("Ready \xe2\x9c\x93");
    EXPECT_EQ(utf32(texts.statusLabel().getString()), U"Ready \u2713");

    // Even an empty status replaces the start-up placeholder.
    TextDisplay fresh(font, Language::English);
    fresh.setStatus("");
    EXPECT_TRUE(fresh.statusLabel().getString().isEmpty());

    // A background of another size moves the line with its corner.
    fresh.setBackgroundSize({1024.f, 768.f});
    fresh.setStatus("Ready to Play");
    EXPECT_EQ(fresh.statusLabel().getPosition(), sf::Vector2f(874.f, 738.f));
}

TEST_F(TextDisplayTest, RealmLinesStackDownFrom180) {
    TextDisplay texts(font, Language::English);
    for (int n = 0; n < 10; ++n)
        texts.addRealmLine("Realm " + std::to_string(n) + (n % 2 == 0 ? ": Online" : ": Offline"));
    ASSERT_EQ(texts.realmLines().size(), 10u);
    for (std::size_t n = 0; n < 10; ++n) {
        const sf::Text& line = texts.realmLines()[n];
        EXPECT_EQ(line.getPosition(), sf::Vector2f(20.f, 20.f * static_cast<float>(n + 9))) << "line " << n;
        EXPECT_EQ(line.getCharacterSize(), 16u);
    }
    EXPECT_EQ(texts.realmLines().front().getPosition().y, 180.f);
    EXPECT_EQ(texts.realmLines().back().getPosition().y, 360.f);
    EXPECT_EQ(texts.realmLines()[1].getString().toAnsiString(), "Realm 1: Offline");

    texts.addRealmLine("K\xc3\xb6nigsberg: Online");
    EXPECT_EQ(utf32(texts.realmLines().back().getString()), U"K\u00f6nigsberg: Online");
    // A Latin-1 name keeps its letters instead of losing the ones after the odd byte.
    texts.addRealmLine("Caf\xe9 Noir: Offline");
    EXPECT_EQ(utf32(texts.realmLines().back().getString()), U"Caf\u00e9 Noir: Offline");
}

TEST_F(TextDisplayTest, AnnouncementIsDecodedAndPlaced) {
    TextDisplay texts(font, Language::Finglish);
    texts.setAnnouncement("Server \xd8\xb3 open\nSee you");
    EXPECT_EQ(utf32(texts.announcementLabel().getString()), U"Server \u0633 open\nSee you");
    EXPECT_EQ(texts.announcementLabel().getPosition(), sf::Vector2f(20.f, 60.f));
    EXPECT_EQ(texts.announcementLabel().getCharacterSize(), 16u);
    texts.setLanguageCode("fa");
    EXPECT_EQ(texts.languageCode(), "fa");
}

} // namespace
