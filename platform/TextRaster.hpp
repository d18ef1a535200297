// Draws text with the system's own shaping text renderer, for announcements in scripts the embedded font cannot
// join (Persian): white glyphs on transparency, in memory, as straight-alpha RGBA pixels.
//
// The contract every backend keeps (Linux: Pango and Cairo; Windows: GDI into a DIB section):
// - Text is UTF-8. A byte that is not part of valid UTF-8 costs one character (U+FFFD), never the whole text.
// - Line feeds separate paragraphs; a final line feed adds no paragraph. Each paragraph reads in the direction of
//   its first strong character (Unicode bidirectional class L, or R / AL): Persian reads right to left, a Latin
//   paragraph left to right, so a Latin text is never mirrored. A paragraph with no strong character reads right
//   to left. (GDI: DT_RTLREADING only for right-to-left paragraphs, decided with GetStringTypeW's CT_CTYPE2.)
// - Every line is right-aligned in the box, whatever its direction (GDI: DT_RIGHT).
// - A paragraph wider than the box breaks between words (GDI: DT_WORDBREAK); a single word wider than the box
//   stays whole on its line (measure reports its full width) and is cut where it leaves the box.
// - Lines follow one another at the backend's line pitch, at most `maxLinePitch` rows. GDI's "Tahoma" at cell
//   height 16 advances by its cell, 16 rows.
// - Nothing is drawn outside the box: rows below it are cut off.
// - Pixels are white (255, 255, 255) with the glyph's coverage as alpha; untouched pixels are (0, 0, 0, 0).
//   Straight alpha, not premultiplied: a smoothed edge is white with partial alpha, never grey and opaque.
// - No file is written and no state outlives the call apart from the font; the object is used from one thread.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct TextSize {
    unsigned width = 0;
    unsigned height = 0;

    bool operator==(const TextSize&) const = default;
};

/// `width` × `height` pixels, four bytes each (red, green, blue, alpha), rows top first.
struct TextImage {
    TextSize size;
    std::vector<std::uint8_t> rgba;

    [[nodiscard]] bool empty() const noexcept { return size.width == 0 || size.height == 0; }
};

class TextRaster {
public:
    /// The face asked for, and its size as GDI takes a positive height: the cell (ascent plus descent), not the em.
    inline static constexpr const char* faceName = "Tahoma";
    inline static constexpr int cellHeight = 16;
    inline static constexpr int weight = 300; // light
    /// The most rows a line may take: the window's other 16-pixel texts stand 19 rows apart (20 for the realm
    /// lines), and the announcement keeps to that even in a face whose Arabic script runs far taller than Tahoma's.
    inline static constexpr unsigned maxLinePitch = 19;
    /// A wrap width that never breaks a line.
    inline static constexpr unsigned noWrap = std::numeric_limits<unsigned>::max();

    /// Text at `scale` times the sizes above (cell height, line pitch), for a window enlarged on a scaled display.
    explicit TextRaster(float scale = 1.f);
    ~TextRaster();
    TextRaster(const TextRaster&) = delete;
    TextRaster& operator=(const TextRaster&) = delete;

    /// False when the system's text renderer could not be set up; then every text measures 0 × 0.
    [[nodiscard]] explicit operator bool() const noexcept;

    /// The size `utf8Text` takes when its paragraphs break between words at `wrapWidth`: the width of its widest
    /// line and the number of lines times the line pitch. 0 × 0 for an empty text.
    [[nodiscard]] TextSize measure(std::string_view utf8Text, unsigned wrapWidth = noWrap) const;

    /// The text drawn into a box of `box` pixels, laid out as `measure` with the box's width as the wrap width.
    /// Empty for an empty box or when the renderer is unusable.
    [[nodiscard]] TextImage rasterise(std::string_view utf8Text, TextSize box) const;

    /// The font family the face resolves to in this process (for diagnostics and tests).
    [[nodiscard]] static std::string resolvedFamily();

private:
    struct Handles;
    std::unique_ptr<Handles> m_handles;
};

} // namespace platform
