// Painting helpers for the artwork generator: Cairo surfaces, gradients, a box blur and Pango text paths.
#include "Canvas.hpp"

#include <SFML/Graphics/Image.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

namespace artwork {

namespace {

constexpr int blurPasses = 3;

std::uint8_t channel(std::uint32_t pixel, int shift) {
    return static_cast<std::uint8_t>((pixel >> shift) & 0xffu);
}

// One horizontal or vertical running-sum pass over premultiplied ARGB32 words.
void boxPass(std::vector<std::uint32_t>& px, int w, int h, int stride, int radius, bool horizontal) {
    const int lines = horizontal ? h : w;
    const int length = horizontal ? w : h;
    std::vector<std::uint32_t> line(static_cast<std::size_t>(length));
    const int window = 2 * radius + 1;
    for (int l = 0; l < lines; ++l) {
        auto at = [&](int i) -> std::uint32_t& {
            const int x = horizontal ? i : l;
            const int y = horizontal ? l : i;
            return px[static_cast<std::size_t>(y * stride + x)];
        };
        for (int i = 0; i < length; ++i)
            line[static_cast<std::size_t>(i)] = at(i);
        int sum[4] = {0, 0, 0, 0};
        auto add = [&](int i, int sign) {
            if (i < 0 || i >= length)
                return;
            const std::uint32_t p = line[static_cast<std::size_t>(i)];
            for (int c = 0; c < 4; ++c)
                sum[c] += sign * channel(p, c * 8);
        };
        for (int i = -radius; i <= radius; ++i)
            add(i, 1);
        for (int i = 0; i < length; ++i) {
            std::uint32_t out = 0;
            for (int c = 0; c < 4; ++c)
                out |= static_cast<std::uint32_t>(std::clamp(sum[c] / window, 0, 255)) << (c * 8);
            at(i) = out;
            add(i - radius, -1);
            add(i + radius + 1, 1);
        }
    }
}

} // namespace

Rgba hex(std::uint32_t rgb, double alpha) {
    return {((rgb >> 16) & 0xff) / 255.0, ((rgb >> 8) & 0xff) / 255.0, (rgb & 0xff) / 255.0, alpha};
}

Rgba mix(Rgba a, Rgba b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

Canvas::Canvas(int width, int height, double scale)
    : m_width(width), m_height(height), m_scale(scale),
      m_surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(std::lround(width * scale)),
                                           static_cast<int>(std::lround(height * scale)))) {
    // Set before the context exists: every path, text and source surface is then in units, and painting one
    // scaled canvas onto another keeps their sizes.
    cairo_surface_set_device_scale(m_surface.get(), scale, scale);
    m_cr.reset(cairo_create(m_surface.get()));
}

int Canvas::pixelWidth() const {
    return cairo_image_surface_get_width(m_surface.get());
}

int Canvas::pixelHeight() const {
    return cairo_image_surface_get_height(m_surface.get());
}

bool Canvas::savePng(const std::string& path) const {
    cairo_surface_flush(m_surface.get());
    return cairo_surface_write_to_png(m_surface.get(), path.c_str()) == CAIRO_STATUS_SUCCESS;
}

bool Canvas::saveJpeg(const std::string& path) const {
    cairo_surface_flush(m_surface.get());
    const unsigned char* data = cairo_image_surface_get_data(m_surface.get());
    const int stride = cairo_image_surface_get_stride(m_surface.get());
    const int width = pixelWidth();
    const int height = pixelHeight();
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(width * height * 4));
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(data + y * stride);
        for (int x = 0; x < width; ++x) {
            // Premultiplied on black is exactly the colour flattened on black.
            const std::uint32_t p = row[x];
            std::uint8_t* o = &rgba[static_cast<std::size_t>((y * width + x) * 4)];
            o[0] = channel(p, 16);
            o[1] = channel(p, 8);
            o[2] = channel(p, 0);
            o[3] = 255;
        }
    }
    sf::Image image;
    image.create(static_cast<unsigned>(width), static_cast<unsigned>(height), rgba.data());
    return image.saveToFile(path);
}

void Canvas::blur(int radius) {
    if (radius <= 0)
        return;
    cairo_surface_flush(m_surface.get());
    unsigned char* data = cairo_image_surface_get_data(m_surface.get());
    const int stride = cairo_image_surface_get_stride(m_surface.get()) / 4;
    const int height = pixelHeight();
    const int pixels = static_cast<int>(std::lround(radius * m_scale));
    std::vector<std::uint32_t> px(static_cast<std::size_t>(stride * height));
    std::copy_n(reinterpret_cast<const std::uint32_t*>(data), px.size(), px.begin());
    for (int pass = 0; pass < blurPasses; ++pass) {
        boxPass(px, pixelWidth(), height, stride, pixels, true);
        boxPass(px, pixelWidth(), height, stride, pixels, false);
    }
    std::copy(px.begin(), px.end(), reinterpret_cast<std::uint32_t*>(data));
    cairo_surface_mark_dirty(m_surface.get());
}

void setColour(cairo_t* cr, Rgba c) {
    cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a);
}

PatternPtr linear(double x0, double y0, double x1, double y1, std::initializer_list<Stop> stops) {
    PatternPtr p(cairo_pattern_create_linear(x0, y0, x1, y1));
    for (const Stop& s : stops)
        cairo_pattern_add_color_stop_rgba(p.get(), s.offset, s.colour.r, s.colour.g, s.colour.b, s.colour.a);
    return p;
}

PatternPtr radial(double cx, double cy, double r0, double r1, std::initializer_list<Stop> stops) {
    PatternPtr p(cairo_pattern_create_radial(cx, cy, r0, cx, cy, r1));
    for (const Stop& s : stops)
        cairo_pattern_add_color_stop_rgba(p.get(), s.offset, s.colour.r, s.colour.g, s.colour.b, s.colour.a);
    return p;
}

void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
    r = std::min({r, w / 2, h / 2});
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
    cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
    cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

LayoutPtr makeLayout(cairo_t* cr, const std::string& text, const TextStyle& style) {
    LayoutPtr layout(pango_cairo_create_layout(cr));
    // Fixed options, so the same text renders the same whatever the desktop's font settings are.
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    pango_cairo_context_set_font_options(pango_layout_get_context(layout.get()), options);
    cairo_font_options_destroy(options);
    pango_layout_context_changed(layout.get());

    PangoFontDescription* desc = pango_font_description_new();
    pango_font_description_set_family(desc, style.family.c_str());
    pango_font_description_set_weight(desc, style.weight);
    pango_font_description_set_absolute_size(desc, style.px * PANGO_SCALE);
    pango_layout_set_font_description(layout.get(), desc);
    pango_font_description_free(desc);

    if (style.letterSpacing != 0) {
        PangoAttrList* attrs = pango_attr_list_new();
        pango_attr_list_insert(attrs,
                               pango_attr_letter_spacing_new(static_cast<int>(style.letterSpacing * PANGO_SCALE)));
        pango_layout_set_attributes(layout.get(), attrs);
        pango_attr_list_unref(attrs);
    }
    pango_layout_set_text(layout.get(), text.c_str(), -1);
    return layout;
}

Box inkOf(PangoLayout* layout) {
    PangoRectangle ink;
    pango_layout_get_extents(layout, &ink, nullptr);
    return {static_cast<double>(ink.x) / PANGO_SCALE, static_cast<double>(ink.y) / PANGO_SCALE,
            static_cast<double>(ink.width) / PANGO_SCALE, static_cast<double>(ink.height) / PANGO_SCALE};
}

Box textPathCentred(cairo_t* cr, PangoLayout* layout, double cx, double cy, const Box* vertical) {
    const Box ink = inkOf(layout);
    const Box& v = vertical ? *vertical : ink;
    const double x = std::round(cx - (ink.x + ink.w / 2));
    const double y = std::round(cy - (v.y + v.h / 2));
    cairo_move_to(cr, x, y);
    pango_cairo_layout_path(cr, layout);
    return {x + ink.x, y + ink.y, ink.w, ink.h};
}

double Random::next() {
    // xorshift64*: tiny, and unlike the standard distributions its output is fixed across library versions.
    m_state ^= m_state >> 12;
    m_state ^= m_state << 25;
    m_state ^= m_state >> 27;
    const std::uint64_t v = m_state * 0x2545f4914f6cdd1dull;
    return static_cast<double>(v >> 11) * (1.0 / 9007199254740992.0);
}

} // namespace artwork
