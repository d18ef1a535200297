// The window's texts, and the reading of their bytes as characters.
#include "ui/TextDisplay.hpp"

#include "platform/TextRaster.hpp"

#include <SFML/Graphics/Image.hpp>

#include <algorithm>
#include <cstdint>

namespace {

constexpr std::string_view initialAnnouncement = "Loading...";
constexpr TextPair initialStatus{"Checking the launcher server...", "Check launcher server..."};
// Length of the valid UTF-8 sequence at the start of `bytes` and its code point; 0 when it is not one.
std::size_t decodeUtf8(std::string_view bytes, std::uint32_t& codePoint) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
    const std::uint8_t lead = byte(0);
    std::size_t length = 0;
    std::uint32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1Fu;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0Fu;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07u;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (bytes.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0u) != 0x80u)
            return 0;
        codePoint = (codePoint << 6) | (byte(i) & 0x3Fu);
    }
    const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
    if (codePoint < minimum || codePoint > 0x10FFFF || surrogate)
        return 0;
    return length;
}

} // namespace

sf::String decodeDisplayText(std::string_view text) {
    std::basic_string<sf::Uint32> decoded;
    decoded.reserve(text.size());
    std::size_t at = 0;
    while (at < text.size()) {
        std::uint32_t codePoint = 0;
        // UTF-8 is kept as the characters it spells; a byte that is not UTF-8 (a Latin-1 "é") is widened on its own
        // instead of turning the rest of the text into replacement boxes.
        if (const std::size_t length = decodeUtf8(text.substr(at), codePoint); length > 0) {
            decoded.push_back(codePoint);
            at += length;
        } else {
            decoded.push_back(static_cast<std::uint8_t>(text[at]));
            ++at;
        }
    }
    return sf::String(decoded);
}

TextDisplay::TextDisplay(const sf::Font& font, Language language)
    : m_font(font), m_announcementLabel(sf::String(std::string(initialAnnouncement)), font, statusCharacterSize),
      m_statusLabel(sf::String(std::string(initialStatus.in(language))), font, statusCharacterSize) {}

TextDisplay::~TextDisplay() = default;

void TextDisplay::setBackgroundSize(sf::Vector2f size) {
    m_backgroundSize = size;
    m_statusLabel.setPosition(m_backgroundSize.x - statusFromRight, m_backgroundSize.y - statusFromBottom);
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
    m_statusLabel = sf::Text(decodeDisplayText(text), m_font, statusCharacterSize);
    m_statusLabel.setPosition(m_backgroundSize.x - statusFromRight, m_backgroundSize.y - statusFromBottom);
}

void TextDisplay::setAnnouncement(const std::string& text) {
    m_announcementLabel = sf::Text(decodeDisplayText(text), m_font, announcementCharacterSize);
    m_announcementLabel.setPosition(announcementLeft, announcementTop);
    // A new announcement needs a new image; a stale one would show the old text.
    m_announcementImageMade = false;
    ++m_revision;
}

void TextDisplay::addRealmLine(const std::string& text) {
    sf::Text line(decodeDisplayText(text), m_font, realmCharacterSize);
    line.setPosition(realmLeft, realmLineHeight * (static_cast<float>(m_realmLines.size()) + realmFirstRow));
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
    const platform::TextRaster raster;
    // Lines break at the panel's right edge; what does not fit above the realm lines is cut off, not drawn over
    // them.
    const auto panelWidth = static_cast<unsigned>(announcementRight - announcementLeft);
    const auto panelHeight = static_cast<unsigned>(announcementBottom - announcementTop);
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
