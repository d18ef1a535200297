// A Cairo drawing surface with the painting helpers the artwork shares: colours, shapes, glows and Pango text.
#pragma once

#include <cairo.h>
#include <pango/pangocairo.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>

namespace artwork {

struct SurfaceDeleter {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextDeleter {
    void operator()(cairo_t* c) const { cairo_destroy(c); }
};
struct PatternDeleter {
    void operator()(cairo_pattern_t* p) const { cairo_pattern_destroy(p); }
};
struct LayoutDeleter {
    void operator()(PangoLayout* l) const { g_object_unref(l); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using ContextPtr = std::unique_ptr<cairo_t, ContextDeleter>;
using PatternPtr = std::unique_ptr<cairo_pattern_t, PatternDeleter>;
using LayoutPtr = std::unique_ptr<PangoLayout, LayoutDeleter>;

/// A straight (not premultiplied) colour, components 0..1.
struct Rgba {
    double r = 0, g = 0, b = 0, a = 1;
};
/// 0xRRGGBB with an alpha.
[[nodiscard]] Rgba hex(std::uint32_t rgb, double alpha = 1.0);
[[nodiscard]] Rgba mix(Rgba a, Rgba b, double t);

struct Stop {
    double offset;
    Rgba colour;
};

/// An ARGB32 image with its drawing context. Painters work in the window's units; a canvas of `scale` 2 holds
/// twice as many pixels each way (Cairo's device scale), for scaled displays.
class Canvas {
public:
    Canvas(int width, int height, double scale = 1);

    [[nodiscard]] cairo_t* cr() const { return m_cr.get(); }
    [[nodiscard]] cairo_surface_t* surface() const { return m_surface.get(); }
    [[nodiscard]] int width() const { return m_width; }   // in units
    [[nodiscard]] int height() const { return m_height; } // in units
    [[nodiscard]] double scale() const { return m_scale; }

    [[nodiscard]] bool savePng(const std::string& path) const;
    /// JPEG through SFML's encoder; the canvas is flattened on black.
    [[nodiscard]] bool saveJpeg(const std::string& path) const;

    /// Blurs the whole canvas in place (three box passes approximate a Gaussian of about `radius` units).
    void blur(int radius);

private:
    [[nodiscard]] int pixelWidth() const;
    [[nodiscard]] int pixelHeight() const;

    int m_width;
    int m_height;
    double m_scale;
    SurfacePtr m_surface;
    ContextPtr m_cr;
};

void setColour(cairo_t* cr, Rgba c);
[[nodiscard]] PatternPtr linear(double x0, double y0, double x1, double y1, std::initializer_list<Stop> stops);
[[nodiscard]] PatternPtr radial(double cx, double cy, double r0, double r1, std::initializer_list<Stop> stops);
void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r);

/// Text set in one face with Pango, so that Persian is shaped and ordered right to left.
struct TextStyle {
    std::string family = "DejaVu Sans";
    PangoWeight weight = PANGO_WEIGHT_BOLD;
    double px = 16;
    double letterSpacing = 0; // extra pixels between letters
};
[[nodiscard]] LayoutPtr makeLayout(cairo_t* cr, const std::string& text, const TextStyle& style);

/// Ink bounds of a layout in pixels, relative to its top-left origin.
struct Box {
    double x = 0, y = 0, w = 0, h = 0;
};
[[nodiscard]] Box inkOf(PangoLayout* layout);

/// Adds the outline of `layout` to the current path so that its ink is centred on (cx, cy); when `vertical` is
/// given, that ink box (of a reference text such as capitals) centres it vertically instead, so descenders do
/// not lift a label. Returns the ink box where it landed.
Box textPathCentred(cairo_t* cr, PangoLayout* layout, double cx, double cy, const Box* vertical = nullptr);

/// Paints a soft glow of `colour` around whatever `shape` draws (as a filled path) on a canvas of this size.
template <typename Shape> void glow(Canvas& target, int radius, Rgba colour, Shape&& shape) {
    Canvas layer(target.width(), target.height(), target.scale());
    setColour(layer.cr(), colour);
    shape(layer.cr());
    cairo_fill(layer.cr());
    layer.blur(radius);
    cairo_set_source_surface(target.cr(), layer.surface(), 0, 0);
    cairo_paint(target.cr());
}

/// Small, deterministic generator: the artwork must come out the same on every machine.
class Random {
public:
    explicit Random(std::uint64_t seed) : m_state(seed ? seed : 0x9e3779b97f4a7c15ull) {}
    [[nodiscard]] double next(); // [0, 1)
    [[nodiscard]] double range(double lo, double hi) { return lo + (hi - lo) * next(); }

private:
    std::uint64_t m_state;
};

} // namespace artwork
