// The update window: the main window's gold on its dark panel, a line of status and the same progress bar.
#include "ui/UpdateWindow.hpp"

#include "assets/Assets.hpp"
#include "platform/CloseRequests.hpp"
#include "platform/Diagnostics.hpp"
#include "sync/Launcher.hpp"
#include "ui/WindowNumber.hpp"

#include <SFML/Window/Event.hpp>

#include <cmath>

namespace {

// Names of their own: the other files of the layer may be compiled in the same batch.
const sf::Color updateBackground(0x0b, 0x0a, 0x1a); // the main window's dark panels
const sf::Color updateTextColour(0xe8, 0xc1, 0x70); // and its gold
constexpr unsigned updateStatusSize = 16;
constexpr float updateStatusTop = 18.f;
constexpr float updateSideMargin = 24.f;
constexpr float updateBarBottomGap = 24.f; // between the bar and the window's lower edge
constexpr unsigned updateFramesPerSecond = 30;

} // namespace

UpdateWindow::UpdateWindow(Language language) : m_status("", m_font, updateStatusSize), m_progress(m_font, language) {
    // The font reads its bytes in place for as long as it lives; they are part of the program.
    const std::span<const unsigned char> font = assets::font();
    if (!font.empty())
        (void)m_font.loadFromMemory(font.data(), font.size());
    m_status.setFillColor(updateTextColour);
    // The bar sits above the area it is placed by (Play, in the main window); here that area lies below the bar.
    const float barTop = static_cast<float>(height) - updateBarBottomGap;
    m_progress.place({updateSideMargin, barTop + ProgressBar::barGap + ProgressBar::barHeight,
                      static_cast<float>(width) - 2 * updateSideMargin, 0.f});
}

UpdateWindow::~UpdateWindow() = default;

void UpdateWindow::create() {
    m_window = std::make_unique<sf::RenderWindow>(sf::VideoMode(width, height), windowTitle,
                                                  sf::Style::Titlebar | sf::Style::Close);
    m_window->setFramerateLimit(updateFramesPerSecond);
    platform::Print("update window: %llu\n", windowNumber(m_window->getSystemHandle()));
}

bool UpdateWindow::frame(const StatusLine& line) {
    if (!m_window || !m_window->isOpen())
        return false;
    sf::Event event;
    while (m_window->pollEvent(event)) {
        if (event.type == sf::Event::Closed)
            m_window->close();
    }
    if (!m_window->isOpen() || platform::CloseRequested())
        return false;

    if (line.statusText != m_text) {
        m_text = line.statusText;
        m_status.setString(sf::String::fromUtf8(m_text.begin(), m_text.end()));
        const sf::FloatRect bounds = m_status.getLocalBounds();
        m_status.setPosition(std::round((static_cast<float>(width) - bounds.width) / 2.f - bounds.left),
                             updateStatusTop);
    }
    (void)m_progress.update(line.progress, m_clock.getElapsedTime());

    m_window->clear(updateBackground);
    m_window->draw(m_status);
    m_progress.draw(*m_window);
    m_window->display();
    return true;
}
