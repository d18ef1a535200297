// The artwork and the font, held in the program itself and decoded from memory.
#pragma once

#include <cstddef>
#include <span>

namespace assets {

/// The 22 images of the window, by their number: 0 background, 1–2 cursors, 3–18 side and discord buttons
/// (normal, hovered), 19–21 Play (normal, hovered, unavailable).
inline constexpr int imageCount = 22;

enum class ImageSet { English, Finglish };

/// Each image is painted twice: at the window's own size, and at twice that for scaled displays, where it is drawn
/// at half its pixel size so that each of its pixels meets one of the screen's.
enum class ImageScale { Single, Double };
inline constexpr float pixelsPerUnit(ImageScale scale) {
    return scale == ImageScale::Double ? 2.f : 1.f;
}

/// The encoded bytes (JPEG for the background, PNG otherwise) of image `index` in `set` at `scale`; empty when out
/// of range.
[[nodiscard]] std::span<const unsigned char> image(int index, ImageSet set, ImageScale scale = ImageScale::Single);

/// The embedded TrueType font.
[[nodiscard]] std::span<const unsigned char> font();

} // namespace assets
