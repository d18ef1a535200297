// The icon reuses the painted background rather than a drawing of its own, so menu and window look alike.
#include "Icon.hpp"

#include "Scenery.hpp"

namespace artwork {
namespace {

// The square of the background around the keep and the moon.
constexpr double cropX = 590, cropY = 300, cropSize = 210;
constexpr double cornerRadius = 40;
constexpr double rimWidth = 6;

} // namespace

Canvas renderIcon() {
    Canvas background(windowWidth, windowHeight);
    paintBackground(background, Language::English);

    Canvas icon(iconSize, iconSize);
    cairo_t* cr = icon.cr();
    const double inset = rimWidth / 2;
    roundedRect(cr, inset, inset, iconSize - rimWidth, iconSize - rimWidth, cornerRadius);
    cairo_save(cr);
    cairo_clip_preserve(cr);
    cairo_scale(cr, iconSize / cropSize, iconSize / cropSize);
    cairo_set_source_surface(cr, background.surface(), -cropX, -cropY);
    cairo_paint(cr);
    cairo_restore(cr);

    auto rim = linear(0, 0, 0, iconSize, {{0.0, hex(0xf3d58a)}, {0.5, hex(0xb8862f)}, {1.0, hex(0xe8c170)}});
    cairo_set_source(cr, rim.get());
    cairo_set_line_width(cr, rimWidth);
    cairo_stroke(cr);
    return icon;
}

} // namespace artwork
