// The download progress above the Play button: one short line of text over a gold-framed bar, shown only while
// files are downloading.
#pragma once

#include "sync/DownloadProgress.hpp"
#include "sync/Language.hpp"

#include <SFML/Graphics/Font.hpp>
#include <SFML/Graphics/RectangleShape.hpp>
#include <SFML/Graphics/RenderTarget.hpp>
#include <SFML/Graphics/Text.hpp>
#include <SFML/Graphics/VertexArray.hpp>
#include <SFML/System/Time.hpp>

#include <deque>
#include <string>
#include <utility>

/// "File 3 of 10 · 12.3 MB of 45.6 MB · 1.2 MB/s · 0:27 left" in `language`; the speed is left out while it is
/// not known (`bytesPerSecond` < 0) and the time left while the total is not final or nothing arrives.
[[nodiscard]] std::string progressLine(const DownloadProgress& progress, double bytesPerSecond, Language language);
/// Bytes in decimal units with one decimal from kilobytes on: "999 B", "12.3 MB", "1.2 GB".
[[nodiscard]] std::string formatBytes(std::uint64_t bytes);

class ProgressBar {
public:
    inline static constexpr unsigned characterSize = 12;
    inline static constexpr float barHeight = 8.f;
    inline static constexpr float barGap = 6.f;  // between the bar and the Play button below it
    inline static constexpr float lineGap = 4.f; // between the text and the bar
    /// The shown figures change at most this often, so the frame loop redraws a few times a second at most.
    inline static const sf::Time refreshInterval = sf::milliseconds(250);
    /// The speed is the bytes that arrived over this long, divided by it.
    inline static const sf::Time speedWindow = sf::seconds(5);
    /// No speed is claimed before the bytes of this long have been seen.
    inline static const sf::Time firstSpeedAfter = sf::seconds(1);

    /// Text in `font` (which must outlive the bar), words in `language`.
    ProgressBar(const sf::Font& font, Language language);

    /// Places the bar across the top of `playArea` (the Play button's rectangle), just above it.
    void place(const sf::FloatRect& playArea);
    /// The display's scale: the line is rasterised at that many screen pixels per layout unit.
    void setScale(float scale);

    /// Takes the frame's snapshot of the downloads at `now` (any steady clock). True when the picture changed and
    /// the frame must be drawn again: the bar appeared or went, or, at most every refreshInterval, a figure changed.
    bool update(const DownloadProgress& progress, sf::Time now);

    void draw(sf::RenderTarget& target) const;

    [[nodiscard]] bool visible() const noexcept { return m_visible; }
    /// The line as shown (UTF-8), for tests and tools.
    [[nodiscard]] const std::string& line() const noexcept { return m_line; }
    /// The filled part of the bar, 0 to 1.
    [[nodiscard]] float fraction() const noexcept { return m_fraction; }
    [[nodiscard]] const sf::Text& label() const noexcept { return m_label; }
    [[nodiscard]] sf::FloatRect barArea() const noexcept { return m_area; }

private:
    [[nodiscard]] double bytesPerSecond(sf::Time now) const;
    void layout();

    Language m_language;
    float m_scale = 1.f;
    sf::FloatRect m_area;
    sf::Text m_label;
    sf::RectangleShape m_frame;
    sf::VertexArray m_fill;
    bool m_visible = false;
    std::string m_line;
    float m_fraction = 0.f;
    sf::Time m_shownAt;
    std::deque<std::pair<sf::Time, std::uint64_t>> m_samples; // (when, bytes received) over the speed window
};
