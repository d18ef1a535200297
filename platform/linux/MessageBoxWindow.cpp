// A small modal box drawn with SFML shapes and a system font; it must answer keys even when no font loads.
#include "platform/linux/MessageBoxWindow.hpp"

#include "platform/Diagnostics.hpp"
#include "platform/linux/DisplayText.hpp"

#include <SFML/Graphics.hpp>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace platform::detail {

namespace {

constexpr unsigned windowWidth = 440;
constexpr float margin = 20.f;
constexpr float iconRadius = 20.f;
constexpr float iconGap = 16.f;
constexpr float crossBarLength = 24.f;
constexpr float crossBarThickness = 4.f;
constexpr unsigned characterSize = 15;
constexpr float buttonWidth = 88.f;
constexpr float buttonHeight = 30.f;
constexpr float buttonGap = 10.f;
constexpr std::size_t maxTextLines = 24; // Beyond this the box would leave the screen; the rest is cut.
constexpr unsigned frameRate = 30;

const sf::Color background(240, 240, 240);
const sf::Color iconColor(200, 40, 40);
const sf::Color buttonColor(225, 225, 225);
const sf::Color buttonHoverColor(245, 245, 245);
const sf::Color buttonBorderColor(120, 120, 120);
const sf::Color defaultButtonBorderColor(40, 90, 200);

// Debian's path first; the others are where the same font lives on other distributions.
constexpr std::array fontPaths = {
    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
    "/usr/share/fonts/TTF/DejaVuSans.ttf",
    "/usr/share/fonts/dejavu/DejaVuSans.ttf",
    "/usr/share/fonts/dejavu-sans-fonts/DejaVuSans.ttf",
    "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf",
    "/usr/share/fonts/truetype/noto/NotoSans-Regular.ttf",
};

std::optional<sf::Font> loadSystemFont() {
    for (const char* path : fontPaths) {
        struct stat info {};
        // Asked first so that SFML does not print a failure for every path that is simply absent.
        if (stat(path, &info) != 0) {
            continue;
        }
        sf::Font font;
        if (font.loadFromFile(path)) {
            return font;
        }
    }
    return std::nullopt;
}

sf::String fromBytes(std::string_view bytes) {
    const std::string utf8 = toDisplayUtf8(bytes);
    return sf::String::fromUtf8(utf8.begin(), utf8.end());
}

float advance(const sf::Font& font, sf::Uint32 c) {
    return font.getGlyph(c, characterSize, false).advance;
}

float measure(const sf::Font& font, const sf::String& text) {
    float width = 0.f;
    for (const sf::Uint32 c : text) {
        width += advance(font, c);
    }
    return width;
}

// Greedy wrapping at spaces; a word wider than the line is cut where it overflows.
void wrapParagraph(const sf::String& paragraph, const sf::Font& font, float maxWidth, std::vector<sf::String>& lines) {
    sf::String line;
    float lineWidth = 0.f;
    // A plain index with a sentinel rather than std::optional: GCC 12 at -O2 takes the optional for uninitialised.
    constexpr std::size_t noSpace = std::numeric_limits<std::size_t>::max();
    std::size_t lastSpace = noSpace;
    for (const sf::Uint32 c : paragraph) {
        const float width = advance(font, c);
        if (c != ' ' && !line.isEmpty() && lineWidth + width > maxWidth) {
            if (lastSpace != noSpace) {
                lines.push_back(line.substring(0, lastSpace));
                line = line.substring(lastSpace + 1);
            } else {
                lines.push_back(line);
                line.clear();
            }
            lastSpace = noSpace;
            lineWidth = measure(font, line);
        }
        if (c == ' ') {
            lastSpace = line.getSize();
        }
        line += c;
        lineWidth += width;
    }
    lines.push_back(line);
}

std::vector<sf::String> wrapText(const sf::String& text, const sf::Font& font, float maxWidth) {
    std::vector<sf::String> lines;
    std::size_t start = 0;
    while (start <= text.getSize()) {
        std::size_t end = text.find("\n", start);
        if (end == sf::String::InvalidPos) {
            end = text.getSize();
        }
        wrapParagraph(text.substring(start, end - start), font, maxWidth, lines);
        start = end + 1;
    }
    if (lines.size() > maxTextLines) {
        lines.resize(maxTextLines);
        lines.back() += sf::String(L" \u2026");
    }
    return lines;
}

std::size_t buttonCount(MessageButtons buttons) {
    return buttons == MessageButtons::YesNo ? 2 : 1;
}

float textLeft() {
    return margin + 2 * iconRadius + iconGap;
}

void drawIcon(sf::RenderWindow& window) {
    sf::CircleShape circle(iconRadius);
    circle.setFillColor(iconColor);
    circle.setPosition(margin, margin);
    window.draw(circle);
    for (const float angle : {45.f, -45.f}) {
        sf::RectangleShape bar({crossBarLength, crossBarThickness});
        bar.setOrigin(crossBarLength / 2, crossBarThickness / 2);
        bar.setPosition(margin + iconRadius, margin + iconRadius);
        bar.setRotation(angle);
        bar.setFillColor(sf::Color::White);
        window.draw(bar);
    }
}

// Without a font the buttons still say what they do: a tick for OK and Yes, a cross for No.
void drawButtonMark(sf::RenderWindow& window, const sf::FloatRect& area, bool accept) {
    const sf::Vector2f centre(area.left + area.width / 2, area.top + area.height / 2);
    const sf::Color markColor = accept ? sf::Color(30, 130, 50) : iconColor;
    const auto bar = [&](float length, float angle, sf::Vector2f offset) {
        sf::RectangleShape shape({length, 3.f});
        shape.setOrigin(length / 2, 1.5f);
        shape.setPosition(centre + offset);
        shape.setRotation(angle);
        shape.setFillColor(markColor);
        window.draw(shape);
    };
    if (accept) {
        bar(8.f, 45.f, {-5.f, 3.f});
        bar(16.f, -50.f, {3.f, 0.f});
    } else {
        bar(16.f, 45.f, {0.f, 0.f});
        bar(16.f, -45.f, {0.f, 0.f});
    }
}

void drawButtons(sf::RenderWindow& window, MessageButtons buttons, const sf::Font* font,
                 std::optional<std::size_t> hovered) {
    const std::array<const char*, 2> labels = {buttons == MessageButtons::YesNo ? "Yes" : "OK", "No"};
    for (std::size_t i = 0; i < buttonCount(buttons); ++i) {
        const sf::FloatRect area = messageBoxButtonArea(i, buttons, window.getSize());
        sf::RectangleShape shape({area.width, area.height});
        shape.setPosition(area.left, area.top);
        shape.setFillColor(hovered == i ? buttonHoverColor : buttonColor);
        // The button that Return chooses is marked, as desktop toolkits mark their default button.
        shape.setOutlineThickness(i == 0 ? 2.f : 1.f);
        shape.setOutlineColor(i == 0 ? defaultButtonBorderColor : buttonBorderColor);
        window.draw(shape);
        if (font == nullptr) {
            drawButtonMark(window, area, i == 0);
            continue;
        }
        sf::Text label(labels[i], *font, characterSize);
        label.setFillColor(sf::Color::Black);
        const sf::FloatRect bounds = label.getLocalBounds();
        label.setPosition(std::round(area.left + (area.width - bounds.width) / 2 - bounds.left),
                          std::round(area.top + (area.height - bounds.height) / 2 - bounds.top));
        window.draw(label);
    }
}

std::optional<std::size_t> buttonAt(sf::Vector2f point, MessageButtons buttons, sf::Vector2u windowSize) {
    for (std::size_t i = 0; i < buttonCount(buttons); ++i) {
        if (messageBoxButtonArea(i, buttons, windowSize).contains(point)) {
            return i;
        }
    }
    return std::nullopt;
}

} // namespace

sf::FloatRect messageBoxButtonArea(std::size_t index, MessageButtons buttons, sf::Vector2u windowSize) {
    const std::size_t count = buttonCount(buttons);
    const float fromRight = static_cast<float>(count - index);
    const float left =
        static_cast<float>(windowSize.x) - margin - fromRight * buttonWidth - (fromRight - 1.f) * buttonGap;
    const float top = static_cast<float>(windowSize.y) - margin - buttonHeight;
    return {left, top, buttonWidth, buttonHeight};
}

void printMessageBoxText(std::string_view caption, std::string_view text) {
    PrintError("%.*s: %.*s\n", static_cast<int>(caption.size()), caption.data(), static_cast<int>(text.size()),
               text.data());
}

bool runMessageBoxWindow(std::string_view caption, std::string_view text, MessageButtons buttons) {
    const std::optional<sf::Font> font = loadSystemFont();
    return runMessageBoxWindow(caption, text, buttons, font ? &*font : nullptr);
}

bool runMessageBoxWindow(std::string_view caption, std::string_view text, MessageButtons buttons,
                         const sf::Font* font) {
    if (font == nullptr) {
        // A box with no words would be answered blind.
        printMessageBoxText(caption, text);
    }
    const float textWidth = static_cast<float>(windowWidth) - textLeft() - margin;

    sf::String body;
    float textHeight = 0.f;
    if (font) {
        const std::vector<sf::String> lines = wrapText(fromBytes(text), *font, textWidth);
        for (std::size_t i = 0; i < lines.size(); ++i) {
            body += i == 0 ? lines[i] : sf::String("\n") + lines[i];
        }
        textHeight = static_cast<float>(lines.size()) * font->getLineSpacing(characterSize);
    }
    const float contentHeight = std::max(2 * iconRadius, textHeight);
    const auto windowHeight = static_cast<unsigned>(std::ceil(margin + contentHeight + margin + buttonHeight + margin));

    sf::RenderWindow window(sf::VideoMode(windowWidth, windowHeight), fromBytes(caption),
                            sf::Style::Titlebar | sf::Style::Close);
    window.setFramerateLimit(frameRate);
    const sf::VideoMode desktop = sf::VideoMode::getDesktopMode();
    window.setPosition(sf::Vector2i(static_cast<int>(desktop.width / 2) - static_cast<int>(windowWidth / 2),
                                    static_cast<int>(desktop.height / 2) - static_cast<int>(windowHeight / 2)));
    window.requestFocus();

    std::optional<std::size_t> hovered;
    // Which button the press began on; noButton when none (a sentinel: GCC 12 takes an optional for uninitialised).
    constexpr std::size_t noButton = std::numeric_limits<std::size_t>::max();
    std::size_t pressed = noButton;
    while (window.isOpen()) {
        sf::Event event;
        while (window.pollEvent(event)) {
            switch (event.type) {
            case sf::Event::Closed:
                return false;
            case sf::Event::KeyPressed:
                if (event.key.code == sf::Keyboard::Enter) {
                    return true;
                }
                if (event.key.code == sf::Keyboard::Escape) {
                    return false;
                }
                break;
            case sf::Event::MouseMoved:
                hovered = buttonAt({static_cast<float>(event.mouseMove.x), static_cast<float>(event.mouseMove.y)},
                                   buttons, window.getSize());
                break;
            case sf::Event::MouseButtonPressed:
                if (event.mouseButton.button == sf::Mouse::Left) {
                    pressed =
                        buttonAt({static_cast<float>(event.mouseButton.x), static_cast<float>(event.mouseButton.y)},
                                 buttons, window.getSize())
                            .value_or(noButton);
                }
                break;
            case sf::Event::MouseButtonReleased:
                // A click counts where it both began and ended, so a press dragged off a button can still back out.
                if (event.mouseButton.button == sf::Mouse::Left && pressed != noButton) {
                    const std::optional<std::size_t> released =
                        buttonAt({static_cast<float>(event.mouseButton.x), static_cast<float>(event.mouseButton.y)},
                                 buttons, window.getSize());
                    if (released == pressed) {
                        return pressed == 0;
                    }
                    pressed = noButton;
                }
                break;
            default:
                break;
            }
        }
        window.clear(background);
        drawIcon(window);
        if (font) {
            sf::Text label(body, *font, characterSize);
            label.setFillColor(sf::Color::Black);
            label.setPosition(textLeft(), std::round(margin + (contentHeight - textHeight) / 2));
            window.draw(label);
        }
        drawButtons(window, buttons, font, hovered);
        window.display();
    }
    return false;
}

} // namespace platform::detail
