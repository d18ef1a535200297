// Bevelled metal-and-leather plates with gold borders; the hovered state is brighter and glows.
#include "Buttons.hpp"

#include <cmath>
#include <functional>

namespace artwork {

namespace {

constexpr double plateInset = 2.5;
constexpr double plateRadius = 6;
constexpr double borderWidth = 2;
constexpr std::uint64_t grainSeed = 0x5eed0010;
constexpr int grainSpecks = 260;

using Shape = std::function<void(cairo_t*)>;

// Fine grain so the leather does not look like flat plastic.
void grain(cairo_t* cr, double x, double y, double w, double h, double alpha) {
    Random rng(grainSeed);
    for (int i = 0; i < grainSpecks; ++i) {
        const double light = rng.next();
        setColour(cr, light > 0.5 ? hex(0xffffff, alpha) : hex(0x000000, alpha * 1.5));
        cairo_rectangle(cr, x + rng.range(0, w), y + rng.range(0, h), 1, 1);
        cairo_fill(cr);
    }
}

// A label drawn with a drop shadow and a vertical gradient fill, centred on (cx, cy).
void label(cairo_t* cr, const std::string& text, const TextStyle& style, bool latin, double cx, double cy, Rgba top,
           Rgba bottom, Rgba shadow) {
    LayoutPtr layout = makeLayout(cr, text, style);
    // Latin labels centre on their capitals, so descenders do not lift them.
    LayoutPtr caps = makeLayout(cr, "HXE", style);
    const Box capBox = inkOf(caps.get());
    const Box* vertical = latin ? &capBox : nullptr;

    cairo_new_path(cr);
    cairo_save(cr);
    cairo_translate(cr, 0, 1.2);
    textPathCentred(cr, layout.get(), cx, cy, vertical);
    cairo_restore(cr);
    setColour(cr, shadow);
    cairo_fill(cr);

    cairo_new_path(cr);
    const Box at = textPathCentred(cr, layout.get(), cx, cy, vertical);
    auto fill = linear(0, at.y, 0, at.y + at.h, {{0.0, top}, {1.0, bottom}});
    cairo_set_source(cr, fill.get());
    cairo_fill(cr);
}

void diamond(cairo_t* cr, double cx, double cy, double r, Rgba colour) {
    cairo_move_to(cr, cx, cy - r);
    cairo_line_to(cr, cx + r * 0.75, cy);
    cairo_line_to(cr, cx, cy + r);
    cairo_line_to(cr, cx - r * 0.75, cy);
    cairo_close_path(cr);
    setColour(cr, colour);
    cairo_fill(cr);
}

// A plate: shadow, optional glow, gold border, face, top bevel and bottom shade. Returns nothing: the caller
// draws the label on top.
void plate(Canvas& c, const Shape& outer, const Shape& inner, double top, double bottom, Rgba faceTop, Rgba faceBottom,
           Rgba rimLight, Rgba rimDark, Rgba glowColour, int glowRadius) {
    cairo_t* cr = c.cr();
    if (glowRadius > 0)
        glow(c, glowRadius, glowColour, outer);
    else
        glow(c, 2, hex(0x000000, 0.75), [&](cairo_t* g) {
            cairo_translate(g, 0, 1);
            outer(g);
        });

    outer(cr);
    auto rim = linear(0, top, 0, bottom, {{0.0, rimLight}, {0.5, mix(rimLight, rimDark, 0.6)}, {1.0, rimDark}});
    cairo_set_source(cr, rim.get());
    cairo_fill(cr);

    inner(cr);
    auto face = linear(0, top, 0, bottom, {{0.0, faceTop}, {1.0, faceBottom}});
    cairo_set_source(cr, face.get());
    cairo_fill(cr);

    // Bevel: light on the upper half of the face, shade on the lower.
    inner(cr);
    auto bevel = linear(0, top, 0, bottom,
                        {{0.0, hex(0xffffff, 0.22)},
                         {0.45, hex(0xffffff, 0.04)},
                         {0.55, hex(0x000000, 0.0)},
                         {1.0, hex(0x000000, 0.3)}});
    cairo_set_source(cr, bevel.get());
    cairo_fill(cr);

    inner(cr);
    setColour(cr, hex(0x000000, 0.55));
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
}

void hexagon(cairo_t* cr, double x0, double y0, double x1, double y1, double point) {
    const double mid = (y0 + y1) / 2;
    cairo_move_to(cr, x0, mid);
    cairo_line_to(cr, x0 + point, y0);
    cairo_line_to(cr, x1 - point, y0);
    cairo_line_to(cr, x1, mid);
    cairo_line_to(cr, x1 - point, y1);
    cairo_line_to(cr, x0 + point, y1);
    cairo_close_path(cr);
}

void hourglass(cairo_t* cr, double cx, double cy, double h, Rgba colour) {
    const double w = h * 0.62;
    setColour(cr, colour);
    cairo_rectangle(cr, cx - w / 2 - 1, cy - h / 2 - 1, w + 2, 1.6);
    cairo_rectangle(cr, cx - w / 2 - 1, cy + h / 2 - 0.6, w + 2, 1.6);
    cairo_fill(cr);
    cairo_move_to(cr, cx - w / 2, cy - h / 2);
    cairo_line_to(cr, cx + w / 2, cy - h / 2);
    cairo_line_to(cr, cx + 1, cy);
    cairo_line_to(cr, cx + w / 2, cy + h / 2);
    cairo_line_to(cr, cx - w / 2, cy + h / 2);
    cairo_line_to(cr, cx - 1, cy);
    cairo_close_path(cr);
    cairo_set_line_width(cr, 1.2);
    cairo_stroke(cr);
    // Sand: a little left on top, a heap below.
    cairo_move_to(cr, cx - w / 4, cy - h / 4);
    cairo_line_to(cr, cx + w / 4, cy - h / 4);
    cairo_line_to(cr, cx, cy - 1);
    cairo_close_path(cr);
    cairo_move_to(cr, cx - w / 2 + 1, cy + h / 2);
    cairo_line_to(cr, cx, cy + h / 6);
    cairo_line_to(cr, cx + w / 2 - 1, cy + h / 2);
    cairo_close_path(cr);
    cairo_fill(cr);
}

} // namespace

TextStyle persianStyle(double px) {
    return {"Titr", PANGO_WEIGHT_BOLD, px, 0};
}

void paintSideButton(Canvas& c, const std::string& text, Language language, bool hovered) {
    cairo_t* cr = c.cr();
    const double x0 = plateInset, y0 = plateInset;
    const double w = buttonWidth - 2 * plateInset, h = buttonHeight - 2 * plateInset;
    const Shape outer = [=](cairo_t* g) { roundedRect(g, x0, y0, w, h, plateRadius); };
    const Shape inner = [=](cairo_t* g) {
        roundedRect(g, x0 + borderWidth, y0 + borderWidth, w - 2 * borderWidth, h - 2 * borderWidth,
                    plateRadius - borderWidth);
    };
    if (hovered)
        plate(c, outer, inner, y0, y0 + h, hex(0x8a5a2c), hex(0x3e2410), hex(0xfff3c4), hex(0xb07a26),
              hex(0xffc45a, 0.9), 3);
    else
        plate(c, outer, inner, y0, y0 + h, hex(0x4a3120), hex(0x1c120a), hex(0xe8c170), hex(0x6e4818), {}, 0);
    cairo_save(cr);
    inner(cr);
    cairo_clip(cr);
    grain(cr, x0, y0, w, h, hovered ? 0.05 : 0.035);
    cairo_restore(cr);

    const Rgba gem = hovered ? hex(0xfff0b0) : hex(0xd8aa50);
    diamond(cr, x0 + 12, buttonHeight / 2.0, 4, gem);
    diamond(cr, x0 + w - 12, buttonHeight / 2.0, 4, gem);

    const bool latin = language == Language::English;
    const TextStyle style = latin ? TextStyle{"DejaVu Serif", PANGO_WEIGHT_BOLD, 17, 0.6} : persianStyle(24);
    const Rgba top = hovered ? hex(0xffffff) : hex(0xfbecc4);
    const Rgba bottom = hovered ? hex(0xffe6a0) : hex(0xd9b878);
    label(cr, text, style, latin, buttonWidth / 2.0, buttonHeight / 2.0, top, bottom, hex(0x000000, 0.85));
}

void paintDiscordButton(Canvas& c, bool hovered) {
    cairo_t* cr = c.cr();
    // A tab against the window's left edge: square on the left, rounded on the right.
    const double y0 = plateInset, h = buttonHeight - 2 * plateInset, x1 = buttonWidth - plateInset;
    const double r = 9;
    auto tab = [=](double inset) {
        return [=](cairo_t* g) {
            cairo_new_sub_path(g);
            cairo_move_to(g, -1, y0 + inset);
            cairo_arc(g, x1 - r, y0 + r, r - inset, -M_PI / 2, 0);
            cairo_arc(g, x1 - r, y0 + h - r, r - inset, 0, M_PI / 2);
            cairo_line_to(g, -1, y0 + h - inset);
            cairo_close_path(g);
        };
    };
    if (hovered)
        plate(c, tab(0), tab(borderWidth), y0, y0 + h, hex(0x8c95ff), hex(0x4a55d8), hex(0xe8ebff), hex(0x7c86ff),
              hex(0x9aa2ff, 0.9), 3);
    else
        plate(c, tab(0), tab(borderWidth), y0, y0 + h, hex(0x6f7af6), hex(0x3c46b8), hex(0xb8beff), hex(0x2e368f), {},
              0);

    // A speech bubble with two eyes: the chat icon.
    const double bx = 18, by = 13, bw = 26, bh = 17;
    roundedRect(cr, bx, by, bw, bh, 7);
    cairo_move_to(cr, bx + 6, by + bh - 2);
    cairo_line_to(cr, bx + 3, by + bh + 5);
    cairo_line_to(cr, bx + 13, by + bh - 1);
    cairo_close_path(cr);
    setColour(cr, hex(0xffffff));
    cairo_fill(cr);
    setColour(cr, hovered ? hex(0x5865f2) : hex(0x4a55cc));
    cairo_arc(cr, bx + 9, by + bh / 2, 2.4, 0, 2 * M_PI);
    cairo_arc(cr, bx + bw - 9, by + bh / 2, 2.4, 0, 2 * M_PI);
    cairo_fill(cr);

    label(cr, "Discord", {"DejaVu Sans", PANGO_WEIGHT_BOLD, 18, 0.4}, true, 104, buttonHeight / 2.0, hex(0xffffff),
          hovered ? hex(0xf0f2ff) : hex(0xe2e5ff), hex(0x1a1f66, 0.8));
}

void paintPlayButton(Canvas& c, Language language, PlayState state) {
    cairo_t* cr = c.cr();
    const double x0 = 10, y0 = 14, x1 = playWidth - 10, y1 = playHeight - 14, point = 26;
    const Shape outer = [=](cairo_t* g) { hexagon(g, x0, y0, x1, y1, point); };
    const Shape inner = [=](cairo_t* g) { hexagon(g, x0 + 4.5, y0 + 3.5, x1 - 4.5, y1 - 3.5, point - 1.5); };
    const Shape groove = [=](cairo_t* g) { hexagon(g, x0 + 11, y0 + 9, x1 - 11, y1 - 9, point - 5); };

    switch (state) {
    case PlayState::Available:
        plate(c, outer, inner, y0, y1, hex(0xeec060), hex(0x94580f), hex(0xfff0c0), hex(0x6a3e0c), hex(0xffa020, 0.6),
              5);
        break;
    case PlayState::Hovered:
        // A wide halo first, then the plate with a tight bright one: the hovered button burns.
        glow(c, 10, hex(0xffc040, 1.0), outer);
        plate(c, outer, inner, y0, y1, hex(0xfff0b0), hex(0xd8902a), hex(0xffffff), hex(0xb07018), hex(0xfff0a0, 1.0),
              4);
        cairo_save(cr);
        inner(cr);
        cairo_clip(cr);
        {
            auto shine = linear(90, y0, 150, y1,
                                {{0.0, hex(0xffffff, 0.0)}, {0.5, hex(0xffffff, 0.35)}, {1.0, hex(0xffffff, 0.0)}});
            cairo_set_source(cr, shine.get());
            cairo_paint(cr);
        }
        cairo_restore(cr);
        break;
    case PlayState::Waiting:
        plate(c, outer, inner, y0, y1, hex(0x5c5a58), hex(0x262524), hex(0x9a9894), hex(0x3a3936), {}, 0);
        break;
    }
    cairo_save(cr);
    inner(cr);
    cairo_clip(cr);
    grain(cr, x0, y0, x1 - x0, y1 - y0, 0.05);
    cairo_restore(cr);

    groove(cr);
    setColour(cr, state == PlayState::Waiting ? hex(0x000000, 0.35) : hex(0x5a3008, 0.45));
    cairo_set_line_width(cr, 1.2);
    cairo_stroke(cr);
    cairo_save(cr);
    cairo_translate(cr, 0, 1);
    groove(cr);
    cairo_restore(cr);
    setColour(cr, hex(0xffffff, state == PlayState::Waiting ? 0.12 : 0.35));
    cairo_set_line_width(cr, 0.8);
    cairo_stroke(cr);

    const bool latin = language == Language::English;
    const std::string text = latin ? "PLAY" : "شروع بازی";
    const double cx = playWidth / 2.0;
    if (state == PlayState::Waiting) {
        const TextStyle big = latin ? TextStyle{"DejaVu Serif", PANGO_WEIGHT_BOLD, 34, 5} : persianStyle(32);
        label(cr, text, big, latin, cx, latin ? 46 : 43, hex(0x8e8c88), hex(0x6a6864), hex(0x000000, 0.7));
        const std::string wait = latin ? "PLEASE WAIT" : "لطفاً صبر کنید";
        const TextStyle small = latin ? TextStyle{"DejaVu Sans", PANGO_WEIGHT_BOLD, 11, 1.5} : persianStyle(16);
        LayoutPtr l = makeLayout(cr, wait, small);
        const double glassW = 12;
        const Box ink = inkOf(l.get());
        const double total = ink.w + glassW + 6;
        const double subY = latin ? 73 : 75;
        hourglass(cr, cx - total / 2 + glassW / 2, subY, 12, hex(0xd0cec8));
        label(cr, wait, small, latin, cx - total / 2 + glassW + 6 + ink.w / 2, subY, hex(0xe0ded8), hex(0xb8b6b0),
              hex(0x000000, 0.8));
        return;
    }
    const TextStyle big = latin ? TextStyle{"DejaVu Serif", PANGO_WEIGHT_BOLD, 44, 6} : persianStyle(44);
    const bool hot = state == PlayState::Hovered;
    // Engraved letters: a light edge below, dark brown face.
    LayoutPtr layout = makeLayout(cr, text, big);
    LayoutPtr caps = makeLayout(cr, "HXE", big);
    const Box capBox = inkOf(caps.get());
    const Box* vertical = latin ? &capBox : nullptr;
    const double cy = playHeight / 2.0 + (latin ? 0 : 2);
    cairo_new_path(cr);
    cairo_save(cr);
    cairo_translate(cr, 0, 1.5);
    textPathCentred(cr, layout.get(), cx, cy, vertical);
    cairo_restore(cr);
    setColour(cr, hex(0xfff6d8, hot ? 0.8 : 0.6));
    cairo_fill(cr);
    cairo_new_path(cr);
    const Box at = textPathCentred(cr, layout.get(), cx, cy, vertical);
    auto fill = linear(0, at.y, 0, at.y + at.h, {{0.0, hex(0x2a1402)}, {1.0, hot ? hex(0x6a3a08) : hex(0x4e2a06)}});
    cairo_set_source(cr, fill.get());
    cairo_fill(cr);
}

} // namespace artwork
