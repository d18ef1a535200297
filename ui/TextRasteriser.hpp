// Draws a text right-to-left with the system's shaping text renderer (Pango and Cairo), for Persian announcements.
#pragma once

#include <SFML/Graphics/Image.hpp>
#include <SFML/System/Vector2.hpp>

#include <memory>
#include <string_view>

class TextRasteriser {
public:
    /// The face asked for; fontconfig is taught to answer it with an installed family that covers Persian.
    inline static constexpr const char* faceName = "Tahoma";
    inline static constexpr int pixelSize = 16;
    inline static constexpr int weight = 300; // light

    TextRasteriser();
    ~TextRasteriser();
    TextRasteriser(const TextRasteriser&) = delete;
    TextRasteriser& operator=(const TextRasteriser&) = delete;

    /// Width of the widest line and the sum of the line heights of `utf8Text`, split at line feeds (a final line
    /// feed adds no line); 0 × 0 for an empty text.
    [[nodiscard]] sf::Vector2u measure(std::string_view utf8Text) const;

    /// The text in white on a transparent background, in straight (not premultiplied) RGBA, right-to-left reading
    /// order, every line right-aligned, at the measured size. Empty for an empty text or when Pango is unusable.
    [[nodiscard]] sf::Image rasterise(std::string_view utf8Text) const;

    /// The font family the face resolves to in this process (for diagnostics and tests).
    [[nodiscard]] static std::string resolvedFamily();

private:
    struct Handles;
    std::unique_ptr<Handles> m_handles;
};
