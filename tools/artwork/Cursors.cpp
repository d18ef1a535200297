// A gold arrow pointer with a dark outline; the active one is larger, brighter and glows.
#include "Cursors.hpp"

#include <cmath>

namespace artwork {

namespace {

// The arrow in a 16 × 24 box with its tip at the origin.
void arrow(cairo_t* cr) {
    cairo_move_to(cr, 0.9, 0.9);
    cairo_line_to(cr, 0.9, 20.5);
    cairo_line_to(cr, 5.4, 16.2);
    cairo_line_to(cr, 9.2, 24.2);
    cairo_line_to(cr, 13.0, 22.4);
    cairo_line_to(cr, 9.3, 14.6);
    cairo_line_to(cr, 15.6, 14.6);
    cairo_close_path(cr);
}

} // namespace

void paintCursor(Canvas& c, bool active) {
    cairo_t* cr = c.cr();
    const double scale = active ? 1.1 : 1.0;
    if (active)
        glow(c, 2, hex(0xffc850, 0.9), [&](cairo_t* g) {
            cairo_scale(g, scale, scale);
            arrow(g);
        });
    // Shadow down and to the right, where it never moves the tip.
    glow(c, 1, hex(0x000000, 0.7), [&](cairo_t* g) {
        cairo_translate(g, 2, 2);
        cairo_scale(g, scale, scale);
        arrow(g);
    });

    cairo_save(cr);
    cairo_scale(cr, scale, scale);
    arrow(cr);
    auto fill =
        linear(0, 0, 14, 22,
               active ? std::initializer_list<Stop>{{0.0, hex(0xffffff)}, {0.4, hex(0xffe08a)}, {1.0, hex(0xd89a30)}}
                      : std::initializer_list<Stop>{{0.0, hex(0xfff0c0)}, {0.45, hex(0xe8b850)}, {1.0, hex(0x9a6218)}});
    cairo_set_source(cr, fill.get());
    cairo_fill_preserve(cr);
    setColour(cr, hex(0x1a0e02));
    cairo_set_line_width(cr, 1.3);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
    cairo_stroke(cr);
    // A bright edge along the arrow's left side.
    cairo_move_to(cr, 2.2, 3.5);
    cairo_line_to(cr, 2.2, 17.4);
    setColour(cr, hex(0xffffff, 0.7));
    cairo_set_line_width(cr, 0.9);
    cairo_stroke(cr);
    cairo_restore(cr);

    if (active) {
        // A spark beside the tip says "this can be clicked".
        const double sx = 22, sy = 7;
        glow(c, 2, hex(0xfff0a0, 0.9), [&](cairo_t* g) { cairo_arc(g, sx, sy, 2.5, 0, 2 * M_PI); });
        setColour(cr, hex(0xffffff));
        cairo_move_to(cr, sx, sy - 6);
        cairo_line_to(cr, sx + 1.2, sy - 1.2);
        cairo_line_to(cr, sx + 6, sy);
        cairo_line_to(cr, sx + 1.2, sy + 1.2);
        cairo_line_to(cr, sx, sy + 6);
        cairo_line_to(cr, sx - 1.2, sy + 1.2);
        cairo_line_to(cr, sx - 6, sy);
        cairo_line_to(cr, sx - 1.2, sy - 1.2);
        cairo_close_path(cr);
        cairo_fill(cr);
    }
}

} // namespace artwork
