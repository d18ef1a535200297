// The window's texts: the status line, the realm lines and the announcement (plain or through the rasteriser).
#pragma once

#include "sync/Language.hpp"
#include "ui/DisplayText.hpp"

#include <SFML/Graphics/Font.hpp>
#include <SFML/Graphics/RenderTarget.hpp>
#include <SFML/Graphics/Sprite.hpp>
#include <SFML/Graphics/Text.hpp>
#include <SFML/Graphics/Texture.hpp>
#include <SFML/System/String.hpp>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TextDisplay {
public:
    inline static constexpr unsigned statusCharacterSize = 12;
    inline static constexpr unsigned announcementCharacterSize = 16;
    inline static constexpr unsigned realmCharacterSize = 16;
    inline static constexpr float announcementLeft = 20.f;
    inline static constexpr float announcementTop = 60.f;
    /// The announcement's panel ends at the painted frame's inner margin on the right and at the rule above the
    /// realm lines: the shaped announcement breaks its lines at the one and is cut at the other.
    inline static constexpr float announcementRight = 552.f;
    inline static constexpr float announcementBottom = 174.f;
    inline static constexpr float realmLeft = 20.f;
    inline static constexpr float realmLineHeight = 20.f;
    inline static constexpr float realmFirstRow = 9.f;     // the first realm line stands at 20 × 9 = 180
    inline static constexpr float statusFromRight = 150.f; // from the background's right edge
    inline static constexpr float statusFromBottom = 30.f; // from the background's bottom edge
    /// The `languageCode` whose announcements go through the rasteriser (Persian script needs shaping).
    inline static constexpr const char* shapedLanguageCode = "fa";

    /// Texts in `font` (which must outlive the display), with the start-up placeholders of `language`.
    TextDisplay(const sf::Font& font, Language language);
    ~TextDisplay();
    TextDisplay(const TextDisplay&) = delete;
    TextDisplay& operator=(const TextDisplay&) = delete;

    /// The background's size places the status line in the bottom-right corner.
    void setBackgroundSize(sf::Vector2f size);
    /// The display's scale: every text is rasterised at that many screen pixels per layout unit.
    void setScale(float scale);

    /// The status line, UTF-8; the text object is rebuilt only when the text changed.
    void setStatus(const std::string& text);
    /// The announcement, its escapes already decoded; line feeds break it into lines.
    void setAnnouncement(const std::string& text);
    /// One realm line (UTF-8), below those already added.
    void addRealmLine(const std::string& text);
    void setLanguageCode(std::string code);

    /// Realm lines, announcement, status line.
    void draw(sf::RenderTarget& target);

    /// Goes up with every change of what the texts show.
    [[nodiscard]] unsigned long revision() const noexcept { return m_revision; }

    [[nodiscard]] const sf::Text& statusLabel() const noexcept { return m_statusLabel; }
    [[nodiscard]] const sf::Text& announcementLabel() const noexcept { return m_announcementLabel; }
    [[nodiscard]] const std::vector<sf::Text>& realmLines() const noexcept { return m_realmLines; }
    [[nodiscard]] const std::string& languageCode() const noexcept { return m_languageCode; }
    /// The rasterised announcement; no texture until the first frame drawn with the code "fa".
    [[nodiscard]] const sf::Sprite& announcementImage() const noexcept { return m_announcementImage; }

private:
    [[nodiscard]] bool drawsShaped() const { return m_languageCode == shapedLanguageCode; }
    void makeAnnouncementImage();
    /// Size and place of a text of the display as this display's scale wants it.
    void fit(sf::Text& text, unsigned characterSize, sf::Vector2f position) const;
    [[nodiscard]] sf::Vector2f statusPosition() const;
    [[nodiscard]] static sf::Vector2f realmPosition(std::size_t line);

    const sf::Font& m_font;
    sf::Vector2f m_backgroundSize;
    float m_scale = 1.f;
    std::string m_languageCode;
    std::vector<sf::Text> m_realmLines;
    sf::Text m_announcementLabel;
    sf::Text m_statusLabel;
    std::string m_statusSource; // the text m_statusLabel shows, to skip rebuilding an unchanged status
    bool m_statusShown = false; // false while the label still holds its start-up placeholder
    std::unique_ptr<sf::Texture> m_announcementTexture;
    sf::Sprite m_announcementImage;
    bool m_announcementImageMade = false;
    unsigned long m_revision = 0;
};
