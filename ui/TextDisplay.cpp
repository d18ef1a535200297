// The window's texts: the status line, the realm lines and the announcement.
#include "ui/TextDisplay.hpp"

#include "platform/TextRaster.hpp"
#include "ui/TextScale.hpp"

#include <SFML/Graphics/Image.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

constexpr std::string_view initialAnnouncement = "Loading...";
constexpr TextPair initialStatus{"Checking the launcher server...", "Check launcher server..."};
} // namespace

TextDisplay::TextDisplay(const sf::Font& font, Language language)
    : m_font(font), m_announcementLabel(sf::String(std::string(initialAnnouncement)), font, statusCharacterSize),
      m_statusLabel(sf::String(std::string(initialStatus.in(language))), font, statusCharacterSize) {}

TextDisplay::~TextDisplay() = default;

void TextDisplay::fit(sf::Text& text, unsigned characterSize, sf::Vector2f position) const {
    ui::setScaledSize(text, characterSize, m_scale);
    text.setPosition(ui::onPixelGrid(position, m_scale));
}

sf::Vector2f TextDisplay::statusPosition() const {
    return {m_backgroundSize.x - statusFromRight, m_backgroundSize.y - statusFromBottom};
}

sf::Vector2f TextDisplay::realmPosition(std::size_t line) {
    return {realmLeft, realmLineHeight * (static_cast<float>(line) + realmFirstRow)};
}

void TextDisplay::setBackgroundSize(sf::Vector2f size) {
    m_backgroundSize = size;
    fit(m_statusLabel, statusCharacterSize, statusPosition());
    ++m_revision;
}

void TextDisplay::setScale(float scale) {
    m_scale = scale;
    fit(m_statusLabel, statusCharacterSize, statusPosition());
    fit(m_announcementLabel, announcementCharacterSize, {announcementLeft, announcementTop});
    for (std::size_t line = 0; line < m_realmLines.size(); ++line)
        fit(m_realmLines[line], realmCharacterSize, realmPosition(line));
    m_announcementImageMade = false; // the shaped image is rasterised again at the new size
    ++m_revision;
}

void TextDisplay::setStatus(const std::string& text) {
    // The workers change the status a few times per run; rebuilding it in each of 30 frames a second would redo
    // the same glyph layout for nothing.
    if (m_statusShown && text == m_statusSource)
        return;
    m_statusShown = true;
    ++m_revision;
    m_statusSource = text;
    m_statusLabel = sf::Text(decodeDisplayText(text), m_font);
    fit(m_statusLabel, statusCharacterSize, statusPosition());
}

void TextDisplay::setAnnouncement(const std::string& text) {
    m_announcementLabel = sf::Text(decodeDisplayText(text), m_font);
    fit(m_announcementLabel, announcementCharacterSize, {announcementLeft, announcementTop});
    // A new announcement needs a new image; a stale one would show the old text.
    m_announcementImageMade = false;
    ++m_revision;
}

void TextDisplay::addRealmLine(const std::string& text) {
    sf::Text line(decodeDisplayText(text), m_font);
    fit(line, realmCharacterSize, realmPosition(m_realmLines.size()));
    m_realmLines.push_back(std::move(line));
    ++m_revision;
}

void TextDisplay::setLanguageCode(std::string code) {
    m_languageCode = std::move(code);
    ++m_revision;
}

void TextDisplay::makeAnnouncementImage() {
    m_announcementImageMade = true; // once per announcement, even when it fails: never per frame
    const std::basic_string<sf::Uint8> utf8 = m_announcementLabel.getString().toUtf8();
    const std::string_view text(reinterpret_cast<const char*>(utf8.data()), utf8.size());
    // Rasterised at the screen's size and drawn at 1 / scale, as the other texts.
    const platform::TextRaster raster(m_scale);
    // Lines break at the panel's right edge; what does not fit above the realm lines is cut off, not drawn over
    // them.
    const auto panelWidth = static_cast<unsigned>(std::lround((announcementRight - announcementLeft) * m_scale));
    const auto panelHeight = static_cast<unsigned>(std::lround((announcementBottom - announcementTop) * m_scale));
    const platform::TextSize size = raster.measure(text, panelWidth);
    const platform::TextImage pixels =
        raster.rasterise(text, {std::min(size.width, panelWidth), std::min(size.height, panelHeight)});
    sf::Image image;
    if (!pixels.empty())
        image.create(pixels.size.width, pixels.size.height, pixels.rgba.data());
    auto texture = std::make_unique<sf::Texture>();
    if (pixels.empty() || !texture->loadFromImage(image)) {
        m_announcementTexture.reset();
        m_announcementImage = sf::Sprite();
        return;
    }
    m_announcementTexture = std::move(texture);
    m_announcementImage.setTexture(*m_announcementTexture, true);
    m_announcementImage.setScale(1.f / m_scale, 1.f / m_scale);
}

void TextDisplay::draw(sf::RenderTarget& target) {
    for (const sf::Text& line : m_realmLines)
        target.draw(line);
    if (!drawsShaped()) {
        // Drawn twice on purpose: the second pass thickens the anti-aliased edges on the busy background.
        target.draw(m_announcementLabel);
        target.draw(m_statusLabel);
        target.draw(m_announcementLabel);
        return;
    }
    // The plain text cannot join Persian letters; drawn under the shaped image it would garble it, so only the
    // image is drawn.
    target.draw(m_statusLabel);
    if (!m_announcementImageMade)
        makeAnnouncementImage();
    m_announcementImage.setPosition(m_announcementLabel.getPosition());
    if (m_announcementTexture)
        target.draw(m_announcementImage);
}
