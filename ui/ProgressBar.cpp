// The progress bar: colours taken from the artwork's gold and its dark panels, figures refreshed a few times a
// second at most, because every redraw of the window costs a software renderer several milliseconds.
#include "ui/ProgressBar.hpp"

#include "ui/TextScale.hpp"

#include <SFML/System/String.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

const sf::Color gold(0xe8, 0xc1, 0x70);
const sf::Color deepGold(0x9a, 0x6b, 0x26);
const sf::Color panel(0x0b, 0x0a, 0x1a, 0xd0);
constexpr float frameThickness = 1.f;

constexpr double kilo = 1000.0;
constexpr int secondsPerMinute = 60;
constexpr int secondsPerHour = 3600;
// Beyond this a time left says nothing useful: the line leaves it out.
constexpr double longestTimeLeft = 100.0 * secondsPerHour;

struct Words {
    const char* file;
    const char* of;
    const char* left;
};
constexpr Words english{"File", "of", "left"};
constexpr Words finglish{"File", "az", "mande"};

std::string formatDuration(double seconds) {
    const long total = std::lround(std::ceil(seconds));
    const long hours = total / secondsPerHour;
    const long minutes = (total % secondsPerHour) / secondsPerMinute;
    const long rest = total % secondsPerMinute;
    char text[32];
    if (hours > 0)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", hours, minutes, rest);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", minutes, rest);
    return text;
}

} // namespace

std::string formatBytes(std::uint64_t bytes) {
    static constexpr const char* units[] = {"KB", "MB", "GB", "TB"};
    if (static_cast<double>(bytes) < kilo)
        return std::to_string(bytes) + " B";
    double value = static_cast<double>(bytes) / kilo;
    std::size_t unit = 0;
    // Rounded first: 999.96 KB shows as 1.0 MB, not as 1000.0 KB.
    while (std::round(value * 10.0) / 10.0 >= kilo && unit + 1 < std::size(units)) {
        value /= kilo;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    return text;
}

std::string progressLine(const DownloadProgress& progress, double bytesPerSecond, Language language) {
    const Words& words = language == Language::Finglish ? finglish : english;
    const std::string dot = " \u00b7 ";
    std::string line = std::string(words.file) + " " + std::to_string(progress.fileNumber) + " " + words.of + " " +
                       std::to_string(progress.fileCount);
    line += dot + formatBytes(progress.bytesDone) + " " + words.of + " " + formatBytes(progress.bytesTotal);
    if (bytesPerSecond >= 0)
        line += dot + formatBytes(static_cast<std::uint64_t>(bytesPerSecond)) + "/s";
    if (progress.totalKnown && bytesPerSecond > 0 && progress.bytesTotal >= progress.bytesDone) {
        const double seconds = static_cast<double>(progress.bytesTotal - progress.bytesDone) / bytesPerSecond;
        if (seconds < longestTimeLeft)
            line += dot + formatDuration(seconds) + " " + words.left;
    }
    return line;
}

ProgressBar::ProgressBar(const sf::Font& font, Language language)
    : m_language(language), m_label("", font, characterSize), m_fill(sf::Quads, 4) {
    m_label.setFillColor(gold);
    m_frame.setFillColor(panel);
    m_frame.setOutlineColor(deepGold);
    m_frame.setOutlineThickness(frameThickness);
}

void ProgressBar::place(const sf::FloatRect& playArea) {
    m_area = {playArea.left, playArea.top - barGap - barHeight, playArea.width, barHeight};
    m_frame.setPosition(m_area.left, m_area.top);
    m_frame.setSize({m_area.width, m_area.height});
    layout();
}

void ProgressBar::setScale(float scale) {
    m_scale = scale;
    ui::setScaledSize(m_label, characterSize, scale);
    layout();
}

double ProgressBar::bytesPerSecond(sf::Time now) const {
    if (m_samples.empty() || now - m_samples.front().first < firstSpeedAfter)
        return -1.0;
    const double seconds = (now - m_samples.front().first).asSeconds();
    return static_cast<double>(m_samples.back().second - m_samples.front().second) / seconds;
}

bool ProgressBar::update(const DownloadProgress& progress, sf::Time now) {
    if (!progress.active) {
        m_samples.clear();
        const bool changed = m_visible;
        m_visible = false;
        return changed;
    }
    // The speed counts what arrived, so a resumed file's partial part, read from the disk, does not inflate it.
    if (m_samples.empty() || progress.bytesReceived < m_samples.back().second)
        m_samples.clear();
    m_samples.emplace_back(now, progress.bytesReceived);
    while (m_samples.size() > 2 && now - m_samples[1].first >= speedWindow)
        m_samples.pop_front();

    if (m_visible && now - m_shownAt < refreshInterval)
        return false;
    const std::string line = progressLine(progress, bytesPerSecond(now), m_language);
    const float fraction = progress.bytesTotal == 0
                               ? 0.f
                               : static_cast<float>(std::min(1.0, static_cast<double>(progress.bytesDone) /
                                                                      static_cast<double>(progress.bytesTotal)));
    // The bar moves in whole pixels: a change below one is not worth a frame.
    const bool changed =
        !m_visible || line != m_line || std::lround(fraction * m_area.width) != std::lround(m_fraction * m_area.width);
    m_visible = true;
    m_shownAt = now;
    if (changed) {
        m_line = line;
        m_fraction = fraction;
        layout();
    }
    return changed;
}

void ProgressBar::layout() {
    m_label.setString(sf::String::fromUtf8(m_line.begin(), m_line.end()));
    // Centred over the bar; the text may be wider than the bar and then reaches out on both sides alike.
    const sf::FloatRect bounds = ui::layoutBounds(m_label);
    const float left = m_area.left + (m_area.width - bounds.width) / 2.f - bounds.left;
    const float top = m_area.top - lineGap - static_cast<float>(characterSize) - bounds.top / 2.f;
    m_label.setPosition(ui::onPixelGrid({left, top}, m_scale));

    const float right = m_area.left + std::round(m_fraction * m_area.width);
    const float bottom = m_area.top + m_area.height;
    m_fill[0] = sf::Vertex({m_area.left, m_area.top}, gold);
    m_fill[1] = sf::Vertex({right, m_area.top}, gold);
    m_fill[2] = sf::Vertex({right, bottom}, deepGold);
    m_fill[3] = sf::Vertex({m_area.left, bottom}, deepGold);
}

void ProgressBar::draw(sf::RenderTarget& target) const {
    if (!m_visible)
        return;
    target.draw(m_frame);
    target.draw(m_fill);
    target.draw(m_label);
}
